// network_failure.h: why a network port could not be had or set up, as a small
// closed set, so that each caller words the reason and the advice that fit it
// (the panel in Russian, velkorctl in English). No dependencies.
#pragma once

#include <cstdint>

namespace velkor {

enum class NetworkFailure : uint8_t {
  None,
  BadAddress,         // the name is no rfc2217://, tcp://, rfc2217s:// or tcps://HOST:PORT
  LookupFailed,       // the resolver's words in the detail
  LookupTimedOut,
  ConnectFailed,      // every address refused or failed; the system's words in the detail
  ConnectTimedOut,    // no address answered within the step bound
  ServerClosed,       // the server ended the connection; its own text, if any, in the detail
  ServerBusy,         // it ended it saying its device is in use by another client
  ComPortRefused,     // no COM port option: a raw accepter, or a plain Telnet server
  BinaryRefused,
  NegotiationSilent,  // the Telnet negotiation went unanswered within the step bound
  RequestRefused,     // a line setting answered with another value (a late answer too)
  RequestUnanswered,  // a line setting went unanswered within the step bound
  ConnectionLost,     // the socket failed after the setup; the system's words in the detail
  TlsFileRefused,     // a certificate, key or settings file: the port's TlsFileFault says which and why
  TlsNotTrusted,      // the server's certificate: the verifier's words in the detail, the CA in TlsCaInUse
  TlsCertificateRequired,  // the server asked for a client certificate and none was given
  TlsCertificateRefused,   // the server turned the client certificate down
  TlsHandshakeTimedOut,    // no TLS answer within the step bound: perhaps a plain accepter
  TlsNotSpoken,       // the server answered with no TLS: a plain accepter; OpenSSL's words in the detail
  TlsFailed,          // any other TLS failure; OpenSSL's words in the detail
};

}  // namespace velkor
