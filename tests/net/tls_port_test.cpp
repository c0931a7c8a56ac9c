// tls_port_test.cpp: network ports over TLS against a real ser2net with its
// ssl layer, certificates made by the test, serving the emulator: connecting
// with a client certificate, refused without one or with a CA that did not
// sign the server's; and the files a port refuses before it connects.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "codes.h"
#include "network_port.h"
#include "open_port.h"
#include "pty_runner.h"
#include "recording_window.h"
#include "ser2net_server.h"
#include "test_certificates.h"

namespace velkor {
namespace {

using test::RecordingWindow;

using Clock = std::chrono::steady_clock;

bool PollUntilConnected(Link& link, Clock::time_point deadline = Clock::now() + std::chrono::seconds(5)) {
  while (link.state.readyWord != READY_CONNECTED && std::chrono::steady_clock::now() < deadline) PollTick(link);
  return link.state.readyWord == READY_CONNECTED;
}

class TlsSer2netTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::Ser2netInstalled()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh installs it)";
    ASSERT_TRUE(certificates.made) << "openssl could not make the test's certificates";
    // No settings file of the user's may name other files.
    setenv("XDG_CONFIG_HOME", certificates.dir.c_str(), 1);
    ASSERT_TRUE(emulator.Start()) << emulator.Error();
    server = std::make_unique<test::Ser2netServer>(emulator.SlavePath(), true, 0, 0,
                                                   test::Ser2netTls{certificates.SslLayer(), certificates.Authdir()});
    ASSERT_TRUE(server->Serving()) << "ser2net did not start";
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

  std::string Files(const char* ca, bool client) const {
    std::string query = "?ca=" + certificates.File(ca);
    if (client) query += "&cert=" + certificates.File("client.pem") + "&key=" + certificates.File("client.key");
    return query;
  }

  test::TestCertificates certificates;
  sim::PtyRunner emulator;
  std::unique_ptr<test::Ser2netServer> server;
  Link link;
  RecordingWindow window{link};
};

TEST_F(TlsSer2netTest, WithAClientCertificateBothSchemesConnectAndTheDriverAnswers) {
  for (const auto& [telnet, reporting] : {std::pair{false, false}, std::pair{true, false}, std::pair{false, true}}) {
    SCOPED_TRACE(std::string(telnet ? "rfc2217s" : "tcps") + (reporting ? " to a reporting driver" : ""));
    if (reporting) emulator.WithEmulator([](sim::Emulator& driver) { driver.Receive(&WAKE_BYTE, 1); });
    Link fresh;
    RecordingWindow freshWindow{fresh};
    NetworkPort port;
    port.SetStepBound(std::chrono::seconds(10));  // as velkorctl's: connected within its timeout all the same
    const auto asked = Clock::now();
    freshWindow.selectedPort = (telnet ? server->Rfc2217Name() : server->RawName()) + Files("ca.pem", true);
    ASSERT_EQ(OpenPort(fresh, port), PortSetup::Polling) << port.LastErrorText();
    EXPECT_TRUE(PollUntilConnected(fresh, asked + std::chrono::seconds(5)));
    // Only the Telnet port sets the line; the raw one keeps the server's.
    EXPECT_EQ(emulator.LineSpeed(), telnet ? B38400 : B9600);
    port.Close();
  }
}

TEST_F(TlsSer2netTest, FilesNamedInTheSettingsFileServeAnAddressWithoutThem) {
  std::filesystem::create_directories(certificates.dir / "velkor");
  std::ofstream settings(certificates.File("velkor/tls.ini"));
  settings << "# the bench's server\n[127.0.0.1:" << server->RawPort() << "]\nca = " << certificates.File("ca.pem")
           << "\ncert = " << certificates.File("client.pem") << "\nkey = " << certificates.File("client.key") << "\n";
  settings.close();
  NetworkPort port;
  window.selectedPort = server->RawName();
  ASSERT_EQ(OpenPort(link, port), PortSetup::Polling) << port.LastErrorText();
  EXPECT_TRUE(PollUntilConnected(link));
}

struct RefusalRow {
  const char* name;
  bool telnet;
  const char* ca;
  bool clientCertificate;
  NetworkFailure failure;
};

TEST_F(TlsSer2netTest, ARefusedConnectionSaysWhyAndWhatToDo) {
  const RefusalRow rows[] = {
      {"tcps without a client certificate", false, "ca.pem", false, NetworkFailure::TlsCertificateRequired},
      {"rfc2217s without a client certificate", true, "ca.pem", false, NetworkFailure::TlsCertificateRequired},
      {"tcps with a CA that did not sign the server's certificate", false, "other-ca.pem", true,
       NetworkFailure::TlsNotTrusted},
      {"rfc2217s with a CA that did not sign the server's certificate", true, "other-ca.pem", true,
       NetworkFailure::TlsNotTrusted},
  };
  const std::string required =
      "Сервер требует сертификат клиента, а он не указан: добавьте cert=ФАЙЛ и key=ФАЙЛ (в адресе или в "
      "~/.config/velkor/tls.ini).";
  const std::string untrusted = "Сертификат сервера не заверен (self-signed certificate in certificate chain), проверен по «" +
                                certificates.File("other-ca.pem") +
                                "». Укажите CA, подписавший сертификат сервера: ca=ФАЙЛ (в адресе или в "
                                "~/.config/velkor/tls.ini).";
  for (const RefusalRow& row : rows) {
    NetworkPort port;
    const std::string name = (row.telnet ? server->Rfc2217Name() : server->RawName()) + Files(row.ca, row.clientCertificate);
    EXPECT_FALSE(port.Open(name)) << row.name;
    EXPECT_EQ(port.Failure(), row.failure) << row.name;
    EXPECT_EQ(port.LastErrorText(), row.failure == NetworkFailure::TlsNotTrusted ? untrusted : required) << row.name;
  }
}

TEST(TlsFilesTest, AKeyOthersCanReadAFifoAndAHalfNamedCertificateAreRefusedBeforeConnecting) {
  test::TestCertificates certificates;
  ASSERT_TRUE(certificates.made);
  const std::string open = certificates.File("open.key");
  std::filesystem::copy_file(certificates.File("client.key"), open);
  chmod(open.c_str(), 0644);
  const std::string fifo = certificates.File("fifo.pem");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string cert = certificates.File("client.pem");
  struct Row {
    std::string query;
    std::string words;
  } rows[] = {
      {"?cert=" + cert + "&key=" + open,
       "Закрытый ключ «" + open + "» доступен другим пользователям: сделайте его только своим (chmod 600 «" + open +
           "»)."},
      {"?ca=" + fifo, "«" + fifo + "» — не обычный файл (канал, устройство или папка): укажите сам файл."},
      {"?cert=" + cert, "Для сертификата клиента нужны и cert=, и key=; указан только «" + cert + "»."},
  };
  for (const Row& row : rows) {
    NetworkPort port;
    // Nobody listens there: a refusal of the files comes first.
    EXPECT_FALSE(port.Open("tcps://127.0.0.1:" + std::to_string(test::FreeLocalPort()) + row.query)) << row.query;
    EXPECT_EQ(port.Failure(), NetworkFailure::TlsFileRefused) << row.query;
    EXPECT_EQ(port.LastErrorText(), row.words) << row.query;
  }
}

}  // namespace
}  // namespace velkor
