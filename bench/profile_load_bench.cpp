// profile_load_bench.cpp: how long a large but valid profile takes to read and
// check, as the panel does on its window's thread: 1 MiB holding 96,000 keys
// in an object of its own beside the parameters, and a long note. Depends on the profile
// files and figures.h.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "figures.h"
#include "profile_file.h"

namespace {

constexpr int RUNS = 10;
constexpr size_t KEY_COUNT = 96'000;
constexpr size_t NOTE_BYTES = 80'000;  // brings the text close to 1 MiB

std::string LargeProfileText() {
  std::string text = R"({"format": "velkor-profile", "version": 1, "device": "VK-3", "note": ")" +
                     std::string(NOTE_BYTES, 'n') + R"(", "parameters": {"steps": 400, "jogSpeed": 60}, "extra": {)";
  char key[32];
  for (size_t i = 0; i < KEY_COUNT; ++i) {
    std::snprintf(key, sizeof key, "%s\"%05zx\":0", i == 0 ? "" : ",", i);
    text += key;
  }
  return text + "}}\n";
}

}  // namespace

int main() {
  using namespace velkor;
  const std::string text = LargeProfileText();
  const std::string path = "/tmp/velkor-profile-load-bench.json";
  std::ofstream(path, std::ios::binary) << text;
  std::vector<double> ms;
  for (int run = 0; run < RUNS; ++run) {
    Profile profile;
    const auto start = std::chrono::steady_clock::now();
    const auto error = ReadProfile(path, profile);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (error) {
      std::fprintf(stderr, "%s\n", ProfileErrorText(*error, Language::English).c_str());
      return 1;
    }
  }
  std::remove(path.c_str());
  bench::Row(bench::Format("Reading a valid %.0f KiB profile with %.0f keys, median / p99 / max",
                           static_cast<double>(text.size()) / 1024, KEY_COUNT),
             bench::MillisecondsOf(bench::SpreadOf(ms)), "< 250 ms");
  return 0;
}
