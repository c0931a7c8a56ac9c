// tls_session.h: TLS on a connected non-blocking socket, for the network
// port: the server verified against a CA (a file, or the system's store) and
// its name or address, a client certificate offered when one is named, the
// handshake as steps that never wait, and reads and writes that say what
// they wait for. Depends on OpenSSL and the TLS files.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "network_address.h"
#include "tls_files.h"

struct ssl_st;  // OpenSSL's SSL

namespace velkor {

// Where the system's CA store is, for words about it.
std::string SystemCaStore();

enum class TlsStep { Done, WantRead, WantWrite, Failed };

// Why a handshake failed, for words that say what to do.
enum class TlsRefusal {
  None,
  NotTrusted,           // the server's certificate: the verifier's words in Reason()
  CertificateRequired,  // the server asked for a client certificate and none was given
  CertificateRefused,   // the server turned the client certificate down
  NotTls,               // the server answered with something that is no TLS
  Other,                // OpenSSL's words in Reason()
};

struct TlsContext;

class TlsSession {
 public:
  TlsSession();
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Reads the files, once for every connection of an open; false with
  // FileFault() set.
  bool Load(const TlsFiles& files);
  // A session on the connected `fd` to `host`, until Detach.
  bool Attach(int fd, const std::string& host);
  void Detach();
  bool Attached() const;
  TlsStep Handshake();
  // As recv and send on a non-blocking socket: bytes; 0 for the server's end
  // (with or without its close notice); -1 with errno EAGAIN (wait for
  // WantEvents) or EPROTO (Reason() says why).
  ssize_t Receive(void* buffer, size_t capacity);
  ssize_t Send(const void* bytes, size_t count);
  short WantEvents() const { return wantEvents_; }

  TlsRefusal Refusal() const { return refusal_; }
  const std::string& Reason() const { return reason_; }
  const TlsFileFault& FileFault() const { return fileFault_; }
  // The CA file the server was checked against; empty for the system's store.
  const std::string& CaFile() const { return caFile_; }
  bool CertificateAsked() const { return certificateAsked_; }
  bool CertificateGiven() const { return certificateGiven_; }
  // Bytes taken from the socket so far, handshake and session tickets included.
  unsigned long BytesReceived() const;

 private:
  static int OnCertificateRequest(::ssl_st* ssl, void* self);
  // Sorts the last failure of a call that returned `result`.
  TlsStep Failure(int result);

  std::unique_ptr<TlsContext> context_;
  short wantEvents_ = 0;
  TlsRefusal refusal_ = TlsRefusal::None;
  std::string reason_;
  TlsFileFault fileFault_;
  std::string caFile_;
  bool certificateAsked_ = false;
  bool certificateGiven_ = false;
};

}  // namespace velkor
