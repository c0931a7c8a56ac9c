// tls_files.cpp: opening untrusted files without waiting on them, and the
// settings file's sections.
#include "tls_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace velkor {
namespace {

// The settings file names a few files per server.
constexpr size_t SETTINGS_LIMIT = 64 * 1024;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Opening, so that a FIFO cannot hold the open and a terminal cannot become
// ours; then only a regular file is read.
std::optional<std::string> ReadRegularFile(const std::string& path, size_t limit, bool privateKey,
                                           TlsFileFault& fault) {
  fault = TlsFileFault{TlsFileProblem::None, path, {}};
  int fd = -1;
  do {
    fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    fault = {TlsFileProblem::Unreadable, path, std::strerror(errno)};
    return std::nullopt;
  }
  struct stat info {};
  std::optional<std::string> contents;
  if (fstat(fd, &info) != 0) {
    fault = {TlsFileProblem::Unreadable, path, std::strerror(errno)};
  } else if (!S_ISREG(info.st_mode)) {
    fault.problem = TlsFileProblem::NotRegular;
  } else if (static_cast<uint64_t>(info.st_size) > limit) {
    fault.problem = TlsFileProblem::TooLarge;
  } else if (privateKey && (info.st_mode & (S_IROTH | S_IWOTH)) != 0) {
    fault.problem = TlsFileProblem::OpenToOthers;
  } else {
    contents.emplace();
    char chunk[4096];
    for (;;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        fault = {TlsFileProblem::Unreadable, path, std::strerror(errno)};
        contents.reset();
        break;
      }
      if (n == 0) break;
      contents->append(chunk, static_cast<size_t>(n));
      // A file that grows while read is no more trusted than a large one.
      if (contents->size() > limit) {
        fault.problem = TlsFileProblem::TooLarge;
        contents.reset();
        break;
      }
    }
  }
  close(fd);
  return contents;
}

}  // namespace

std::string TlsFileFaultInEnglish(const TlsFileFault& fault) {
  const std::string file = "'" + fault.path + "'";
  switch (fault.problem) {
    case TlsFileProblem::None: break;
    case TlsFileProblem::Unreadable: return "cannot read " + file + ": " + fault.detail;
    case TlsFileProblem::NotRegular: return file + " is no regular file (a FIFO, a device or a folder): name the file itself";
    case TlsFileProblem::TooLarge:
      return file + " is larger than " + std::to_string(TLS_FILE_LIMIT / 1024) + " KiB: no certificate or key file is";
    case TlsFileProblem::OpenToOthers:
      return "the private key " + file + " can be read by other users: make it yours alone (chmod 600 " + file + ")";
    case TlsFileProblem::Malformed:
      return file + " holds no usable PEM certificate or key (" + fault.detail +
             "); an encrypted key must be decrypted first (openssl pkey -in KEY -out KEY.plain)";
    case TlsFileProblem::KeyMismatch: return "the key " + file + " does not belong to the client certificate";
    case TlsFileProblem::Incomplete:
      return "a client certificate needs both cert= and key=; only " + file + " is named";
  }
  return {};
}

std::string TlsFileFaultInRussian(const TlsFileFault& fault) {
  const std::string file = "«" + fault.path + "»";
  switch (fault.problem) {
    case TlsFileProblem::None: break;
    case TlsFileProblem::Unreadable: return "Не удалось прочитать " + file + ": " + fault.detail + ".";
    case TlsFileProblem::NotRegular: return file + " — не обычный файл (канал, устройство или папка): укажите сам файл.";
    case TlsFileProblem::TooLarge:
      return file + " больше " + std::to_string(TLS_FILE_LIMIT / 1024) + " КиБ: это не файл сертификата или ключа.";
    case TlsFileProblem::OpenToOthers:
      return "Закрытый ключ " + file + " доступен другим пользователям: сделайте его только своим (chmod 600 " + file +
             ").";
    case TlsFileProblem::Malformed:
      return "В " + file + " нет пригодного сертификата или ключа PEM (" + fault.detail +
             "); зашифрованный ключ нужно сначала расшифровать.";
    case TlsFileProblem::KeyMismatch: return "Ключ " + file + " не подходит к сертификату клиента.";
    case TlsFileProblem::Incomplete: return "Для сертификата клиента нужны и cert=, и key=; указан только " + file + ".";
  }
  return {};
}

std::string ExpandHome(const std::string& path) {
  if (!path.starts_with("~/")) return path;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + path.substr(1);
}

std::optional<std::string> ReadTlsFile(const std::string& path, bool privateKey, TlsFileFault& fault) {
  return ReadRegularFile(ExpandHome(path), TLS_FILE_LIMIT, privateKey, fault);
}

std::string TlsSettingsPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string base = config && *config == '/' ? config : ExpandHome("~/.config");
  return base + "/velkor/tls.ini";
}

std::optional<TlsFiles> TlsFilesFor(const NetworkAddress& address, TlsFileFault& fault,
                                    const std::string& settingsPath) {
  TlsFiles files = address.files;
  fault = {};
  if (access(settingsPath.c_str(), F_OK) != 0) return files;
  const std::optional<std::string> settings = ReadRegularFile(settingsPath, SETTINGS_LIMIT, false, fault);
  if (!settings) return std::nullopt;
  const bool v6 = address.host.find(':') != std::string::npos;
  const std::string section =
      "[" + (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port) + "]";
  std::istringstream lines(*settings);
  std::string line;
  bool inSection = false;
  while (std::getline(lines, line)) {
    line = Trimmed(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      inSection = line == section;
      continue;
    }
    const size_t equals = line.find('=');
    if (!inSection || equals == std::string::npos) continue;
    const std::string key = Trimmed(line.substr(0, equals));
    const std::string value = Trimmed(line.substr(equals + 1));
    std::string* file = key == "ca" ? &files.ca : key == "cert" ? &files.cert : key == "key" ? &files.key : nullptr;
    // Named in the address, or earlier in the section: that one stays.
    if (file && file->empty()) *file = value;
  }
  return files;
}

}  // namespace velkor
