// ser2net_server.h: a ser2net of the test's own on 127.0.0.1, serving one
// device (the emulator's pseudo-terminal) at 9600 baud, with a configuration
// file it writes into a directory of its own; stopped when it goes. The
// port names a test opens are RawName() and Rfc2217Name(), over TLS when the
// server is given an ssl layer. Depends on POSIX processes and sockets, and
// on the ser2net program.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace velkor::test {

inline constexpr const char* SER2NET_PROGRAM = "/usr/sbin/ser2net";

inline bool Ser2netInstalled() { return access(SER2NET_PROGRAM, X_OK) == 0; }

// A port on 127.0.0.1 that nobody listens on at this moment.
inline int FreeLocalPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

// Whether something listens on 127.0.0.1:port, as the kernel's table says.
// (Connecting to find out would make ser2net open the device.)
inline bool Listening(int port) {
  char local[32];
  std::snprintf(local, sizeof local, "0100007F:%04X", port);
  std::ifstream table("/proc/net/tcp");
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, address, remote, state;
    fields >> slot >> address >> remote >> state;
    if (address == local && state == "0A") return true;
  }
  return false;
}

// ser2net's ssl layer on both accepters, e.g. ssl(key=K,cert=C,CA=A,clientauth),
// and the folder it looks client certificates up in (authdir/NAME/allowed_certs).
struct Ser2netTls {
  std::string layer;
  std::string authdir;
};

class Ser2netServer {
 public:
  // Serves `device` twice: raw on RawName(), with the COM port option on
  // Rfc2217Name(). Without `charDelay`, what the device sends goes on at once
  // instead of after ser2net's wait for more. A server started again on the
  // ports of one that stopped takes the ports it is given.
  explicit Ser2netServer(const std::string& device, bool charDelay = true, int rawPort = 0, int telnetPort = 0,
                         const Ser2netTls& tls = {})
      : rawPort_(rawPort ? rawPort : FreeLocalPort()),
        telnetPort_(telnetPort ? telnetPort : FreeLocalPort()),
        tls_(!tls.layer.empty()) {
    std::string name = (std::filesystem::temp_directory_path() / "velkor-ser2net-XXXXXX").string();
    dir_ = mkdtemp(name.data());
    std::ofstream config(dir_ / "ser2net.yaml");
    const std::string options = std::string(charDelay && !tls_ ? "" : "  options:\n") +
                                (charDelay ? "" : "    chardelay: false\n") +
                                (tls_ ? "    authdir: " + tls.authdir + "\n" : "");
    const std::string ssl = tls_ ? tls.layer + "," : "";
    config << "connection: &raw\n"
           << "  accepter: " << ssl << "tcp,127.0.0.1," << rawPort_ << "\n"
           << "  connector: serialdev," << device << ",9600n81,local\n"
           << options << "connection: &rfc2217\n"
           << "  accepter: telnet(rfc2217)," << ssl << "tcp,127.0.0.1," << telnetPort_ << "\n"
           << "  connector: serialdev," << device << ",9600n81,local\n"
           << options;
    config.close();
    const std::string configFile = (dir_ / "ser2net.yaml").string();
    const std::string pidFile = (dir_ / "ser2net.pid").string();
    const std::string log = (dir_ / "ser2net.log").string();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    // -n: stay in the foreground, a child of the test that it can stop.
    const char* argv[] = {SER2NET_PROGRAM, "-n", "-c", configFile.c_str(), "-P", pidFile.c_str(), nullptr};
    if (posix_spawn(&pid_, SER2NET_PROGRAM, &files, nullptr, const_cast<char* const*>(argv), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&files);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ != 0 && !(Listening(rawPort_) && Listening(telnetPort_)) &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Ser2netServer() {
    Stop();
    std::filesystem::remove_all(dir_);
  }
  Ser2netServer(const Ser2netServer&) = delete;
  Ser2netServer& operator=(const Ser2netServer&) = delete;

  bool Serving() const { return pid_ != 0 && Listening(rawPort_) && Listening(telnetPort_); }
  // Ends the server and with it every connection: a dropped network port.
  void Stop() {
    if (pid_ == 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
  int RawPort() const { return rawPort_; }
  int TelnetPort() const { return telnetPort_; }
  std::string RawName() const { return (tls_ ? "tcps" : "tcp") + std::string("://127.0.0.1:") + std::to_string(rawPort_); }
  std::string Rfc2217Name() const {
    return (tls_ ? "rfc2217s" : "rfc2217") + std::string("://127.0.0.1:") + std::to_string(telnetPort_);
  }

 private:
  int rawPort_;
  int telnetPort_;
  bool tls_;
  std::filesystem::path dir_;
  pid_t pid_ = 0;
};

}  // namespace velkor::test
