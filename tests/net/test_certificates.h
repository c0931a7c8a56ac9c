// test_certificates.h: a CA, a server certificate for 127.0.0.1 and a client
// certificate it signed, and a second CA that signed nothing here, made with
// the openssl program into a directory of their own (removed when they go);
// and the folder ser2net looks client certificates up in, trusting the CA
// for the client's name. Depends on the openssl program.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace velkor::test {

inline constexpr const char* CLIENT_NAME = "velkor-client";

struct TestCertificates {
  std::filesystem::path dir;
  bool made = false;

  TestCertificates() {
    std::string name = (std::filesystem::temp_directory_path() / "velkor-tls-XXXXXX").string();
    dir = mkdtemp(name.data());
    const std::string allowed = "auth/" + std::string(CLIENT_NAME) + "/allowed_certs";
    const std::string newKey = "openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 ";
    const std::string leaf = "-CA ca.pem -CAkey ca.key -addext basicConstraints=CA:FALSE ";
    const std::string script =
        "cd '" + dir.string() + "' && " + newKey + "-x509 -keyout ca.key -out ca.pem -subj /CN=velkor-test-ca && " +
        newKey + "-x509 -keyout other-ca.key -out other-ca.pem -subj /CN=velkor-other-ca && " + newKey + leaf +
        "-keyout server.key -out server.pem -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 && " + newKey +
        leaf + "-keyout client.key -out client.pem -subj /CN=" + CLIENT_NAME + " && mkdir -p " + allowed +
        " && cp ca.pem " + allowed + " && openssl rehash " + allowed + " >/dev/null 2>&1";
    made = std::system(("(" + script + ") >/dev/null 2>&1").c_str()) == 0;
  }
  ~TestCertificates() { std::filesystem::remove_all(dir); }
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  std::string File(const char* name) const { return (dir / name).string(); }
  // ser2net's ssl layer: its certificate, and client certificates required and checked against the CA.
  std::string SslLayer() const {
    return "ssl(key=" + File("server.key") + ",cert=" + File("server.pem") + ",CA=" + File("ca.pem") + ",clientauth)";
  }
  std::string Authdir() const { return File("auth"); }
};

}  // namespace velkor::test
