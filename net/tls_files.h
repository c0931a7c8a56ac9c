// tls_files.h: the certificate and key files of a TLS port, read as the
// untrusted input they are (a regular file of modest size, never a FIFO or a
// device; a private key no other user may read), and the settings file that
// names them per server, so that addresses can stay short:
//
//   # ~/.config/velkor/tls.ini ($XDG_CONFIG_HOME/velkor/tls.ini)
//   [bench-pi:4001]
//   ca = /home/op/.config/velkor/bench-ca.pem
//   cert = /home/op/.config/velkor/op.pem
//   key = /home/op/.config/velkor/op.key
//
// Files named in the address win over those in the settings file. Depends on
// POSIX files and the network address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "network_address.h"

namespace velkor {

// A certificate file holds a few certificates; anything beyond this is no
// certificate file (the system's whole CA bundle is about 200 KiB).
inline constexpr size_t TLS_FILE_LIMIT = 1024 * 1024;

enum class TlsFileProblem : uint8_t {
  None,
  Unreadable,    // the system's words in the fault's detail
  NotRegular,    // a FIFO, a device, a directory
  TooLarge,
  OpenToOthers,  // a private key that users other than its owner's group may read
  Malformed,     // no PEM certificate or key in it, or an encrypted key; the line in the detail
  KeyMismatch,   // the key does not belong to the certificate
  Incomplete,    // a certificate without its key, or a key without its certificate
};

struct TlsFileFault {
  TlsFileProblem problem = TlsFileProblem::None;
  std::string path;
  std::string detail;
};

// What is wrong with a file and what to do about it, in English and in Russian.
std::string TlsFileFaultInEnglish(const TlsFileFault& fault);
std::string TlsFileFaultInRussian(const TlsFileFault& fault);

// A path from an address or the settings file with ~/ made the home folder.
std::string ExpandHome(const std::string& path);

// The whole file, or none with `fault` set. A private key must not be
// readable by others than its owner and group.
std::optional<std::string> ReadTlsFile(const std::string& path, bool privateKey, TlsFileFault& fault);

// Where the settings file is looked for.
std::string TlsSettingsPath();

// The files for a server: those named in the address, the rest from the
// settings file's section [HOST:PORT] ([[IPV6]:PORT] for an IPv6 address).
// None with `fault` set when the settings file exists but cannot be read.
std::optional<TlsFiles> TlsFilesFor(const NetworkAddress& address, TlsFileFault& fault,
                                    const std::string& settingsPath = TlsSettingsPath());

}  // namespace velkor
