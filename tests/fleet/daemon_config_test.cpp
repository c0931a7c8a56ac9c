// daemon_config_test.cpp: velkord's configuration file: what a complete one
// gives, the defaults, and each mistake named by its key.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "daemon_config.h"

namespace velkor::daemon {
namespace {

using namespace std::chrono_literals;

class ConfigFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velkord-config-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << text;
    return path;
  }
  std::string dir_;
};

TEST_F(ConfigFiles, AFullConfigurationGivesTheBrokerTheCredentialsTheDriversAndThePolicy) {
  const std::string credentials = Write("credentials", "velkord:se:cret\n");
  const std::string path = Write("velkord.json", R"({"site":"lab","host":"bench-1",
    "broker":{"host":"broker.example.org","ca_file":"ca.crt","credentials_file":")" + credentials + R"("},
    "drivers":[{"name":"axis-x","port":"/dev/ttyUSB0"},{"name":"axis-y","port":"rfc2217://10.0.0.5:7001"}],
    "readings_interval_s":0.5,"remote":{"motion":true,"max_rotation_s":4},"metrics":{"address":"[::1]:9500"},
    "state_directory":"/srv/velkord"})");
  std::string error;
  unsetenv("CREDENTIALS_DIRECTORY");
  const auto config = LoadConfig(path, error);
  ASSERT_TRUE(config) << error;
  EXPECT_EQ(config->broker.caFile, dir_ + "/ca.crt");  // beside the configuration
  EXPECT_EQ(config->broker.port, 8883);
  EXPECT_FALSE(config->broker.plain);
  EXPECT_EQ(config->broker.user, "velkord");
  EXPECT_EQ(config->broker.password, "se:cret");
  EXPECT_EQ(config->broker.clientId, "velkord-lab-bench-1");
  ASSERT_EQ(config->drivers.size(), 2u);
  EXPECT_EQ(config->drivers[1].port, "rfc2217://10.0.0.5:7001");
  EXPECT_EQ(config->readingsInterval, 500ms);
  EXPECT_EQ(config->timeout, 5s);
  EXPECT_TRUE(config->remoteMotion);
  EXPECT_EQ(config->maxRotation, 4s);
  EXPECT_EQ(config->metricsAddress, "[::1]:9500");
  EXPECT_EQ(config->stateDirectory, "/srv/velkord");
}

TEST_F(ConfigFiles, EachMistakeIsNamedByItsKey) {
  const std::string drivers = R"("drivers":[{"name":"x","port":"/dev/ttyS0"}])";
  struct Row {
    std::string text;
    std::string error;
  };
  const Row rows[] = {
      {"[]", "not a JSON object (no error occurred)"},
      {R"({"site":"a/b"})", "\"site\" must be letters, digits, '_' or '-'"},
      {R"({"site":"lab","broker":{}, )" + drivers + "}", "\"broker.ca_file\" is needed unless \"broker.plain\" is true"},
      {R"({"site":"lab","broker":{"plain":true,"cert_file":"c"}, )" + drivers + "}",
       "\"broker.cert_file\" and \"broker.key_file\" go together"},
      {R"({"site":"lab","broker":{"plain":true,"port":70000}, )" + drivers + "}", "\"broker.port\" must be 1..65535"},
      {R"({"site":"lab","broker":{"plain":true},"readings_interval_s":0, )" + drivers + "}",
       "\"readings_interval_s\" must be a positive number of seconds"},
      {R"({"site":"lab","broker":{"plain":true},"remote":{"max_rotation_s":"long"}, )" + drivers + "}",
       "\"remote.max_rotation_s\" must be a positive number of seconds"},
      {R"({"site":"lab","broker":{"plain":true},"drivers":[]})", "\"drivers\" names no driver"},
      {R"({"site":"lab","broker":{"plain":true,"port":"28831"}, )" + drivers + "}", "\"broker.port\" must be 1..65535"},
      {R"({"site":"lab","broker":{"plain":true,"port":1883.5}, )" + drivers + "}", "\"broker.port\" must be 1..65535"},
      {R"({"site":"lab","broker":{"plain":"yes"}, )" + drivers + "}", "\"broker.plain\" must be true or false"},
      {R"({"site":"lab","broker":{"plain":true},"remote":{"motion":"true"}, )" + drivers + "}",
       "\"remote.motion\" must be true or false"},
      {R"({"site":7,"broker":{"plain":true}, )" + drivers + "}", "\"site\" must be a string"},
      {R"({"site":"lab","broker":[], )" + drivers + "}", "\"broker\" must be an object"},
      {R"({"site":"lab","broker":{"plain":true},"drivers":{}})", "\"drivers\" must be an array"},
      {R"({"site":"lab","broker":{"plain":true},"metrics":{"adress":"x"}, )" + drivers + "}",
       "unknown key \"metrics.adress\""},
      {R"({"site":"lab","broker":{"plain":true,"prot":1}, )" + drivers + "}", "unknown key \"broker.prot\""},
      {R"({"site":"lab","broker":{"plain":true},"timeout":5, )" + drivers + "}", "unknown key \"timeout\""},
      {R"({"site":"lab","broker":{"plain":true},"drivers":[{"name":"x","port":"a","baud":9600}]})",
       "unknown key \"drivers[].baud\""},
      {R"({"site":"lab","broker":{"plain":true},"drivers":[{"name":"x","port":"a"},{"name":"x","port":"b"}]})",
       "the driver name x is given twice"},
  };
  for (const Row& row : rows) {
    const std::string path = Write("bad.json", row.text);
    std::string error;
    EXPECT_FALSE(LoadConfig(path, error)) << row.text;
    EXPECT_EQ(error, path + ": " + row.error) << row.text;
  }
}

TEST_F(ConfigFiles, AFifoInPlaceOfAFileIsRefusedWithoutWaitingForAWriter) {
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string config = Write("velkord.json", R"({"site":"lab","broker":{"plain":true,"credentials_file":"fifo"},
    "drivers":[{"name":"x","port":"/dev/ttyS0"}]})");
  const struct {
    std::string path;
    std::string error;
  } rows[] = {{fifo, fifo + " is not a regular file"}, {config, config + ": " + fifo + " is not a regular file"}};
  for (const auto& row : rows) {
    std::string error;
    EXPECT_FALSE(LoadConfig(row.path, error)) << row.path;
    EXPECT_EQ(error, row.error) << row.path;
  }
}

TEST_F(ConfigFiles, ACredentialsFileOthersMayReadIsUsedWithAWarning) {
  const std::string credentials = Write("credentials", "velkord:secret\n");
  chmod(credentials.c_str(), 0644);
  const std::string path = Write("velkord.json", R"({"site":"lab","broker":{"plain":true,"credentials_file":"credentials"},
    "drivers":[{"name":"x","port":"/dev/ttyS0"}]})");
  std::string error;
  const auto config = LoadConfig(path, error);
  ASSERT_TRUE(config) << error;
  EXPECT_EQ(config->warnings, std::vector<std::string>{"the credentials file " + credentials +
                                                       " is open to other users: make it mode 0600"});
  std::ofstream(credentials) << "velkord:mended\n";
  std::string user, password;
  ASSERT_TRUE(config->broker.readCredentials(user, password, error)) << error;
  EXPECT_EQ(password, "mended");
}

}  // namespace
}  // namespace velkor::daemon
