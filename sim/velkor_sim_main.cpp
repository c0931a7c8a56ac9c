// velkor_sim_main.cpp: velkor-sim, a VK-3 driver on a pseudo-terminal. Prints
// the terminal to open in the panel and serves it until SIGINT or SIGTERM.
// Depends on pty_runner.h.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

#include "codes.h"
#include "eeprom_file.h"
#include "pty_runner.h"
#include "standard_descriptors.h"
#include "version.h"

namespace {

using velkor::sim::EmulatorOptions;

const char kUsage[] =
    "Usage: velkor-sim [options]\n"
    "Emulates a VK-3 microstep driver on a pseudo-terminal and prints its path;\n"
    "open that path in the panel as the serial port. Stops on Ctrl-C or SIGTERM.\n"
    "\n"
    "  --period MS            status report period, ms (default 10)\n"
    "  --readings N           live readings (reports 15-22, in turn) sent before each\n"
    "                         status report (default 4)\n"
    "  --only-readings LIST   send only these live readings, report numbers 15-22\n"
    "                         separated by commas (16,17,22: the set currents and the\n"
    "                         position); the others are never reported (default: all)\n"
    "  --jog-timeout MS       a step or rotation stops when neither a keep-alive byte\n"
    "                         nor a command has arrived for this long, ms (default 300)\n"
    "  --seed N               seed of every random choice; same seed, same faults (default 1)\n"
    "  --drop P               probability of losing a byte, each direction (default 0)\n"
    "  --corrupt P            probability of one flipped bit in a byte, each direction (default 0)\n"
    "  --ignore P             probability of ignoring a valid command: no acknowledgement (default 0)\n"
    "  --wrong-ack P          probability of acknowledging with a wrong value (default 0)\n"
    "  --ignore-stops N       ignore the first N stop actions: no acknowledgement, the\n"
    "                         shaft keeps turning (default 0)\n"
    "  --silent-at MS         start a silent period this long after start (with --silent-for)\n"
    "  --silent-for MS        length of the silent period: nothing is sent (default 0: none)\n"
    "  --hang-up-after MS     close the terminal after this long, like an unplugged adapter\n"
    "  --eeprom FILE          keep the saved parameters in FILE across runs\n"
    "                         (default: in memory, factory settings at every start)\n"
    "  --current-limit MA     store motion, holding and fault currents set above MA\n"
    "                         as MA, acknowledged all the same (default 0: no limit)\n"
    "  --report-delay MS      report a set value this long after acknowledging it, in\n"
    "                         the driver's own cycle (default 0: right after)\n"
    "  --power-cycle-at MS    switch off and on this long after start: the EEPROM's\n"
    "                         values come back, silent until woken (default 0: never)\n"
    "  --swap-at MS           move the line to a second, running driver with values of\n"
    "                         its own this long after start (default 0: never)\n"
    "Imperfections of the motor (each off at 0; any of them replaces the default\n"
    "regulator with these flaws alone; the same seed gives the same run):\n"
    "  --harmonic P           3rd harmonic in both measured currents, % of the set\n"
    "                         amplitude: the current vector's length ripples by about P %\n"
    "  --zero-distortion MA   near zero crossings no current flows below MA of set\n"
    "                         current, catching up by twice MA\n"
    "  --supply V             supply voltage; with the windings' impedance and the\n"
    "                         back-EMF the current falls short above a speed and the\n"
    "                         PWM saturates at 1000 (24 V, 1000 mA: above about 735 rpm)\n"
    "  --back-emf V           back-EMF with --supply, volts per 1000 rpm (default 20)\n"
    "  --imbalance P          winding B carries P % less than set\n"
    "  --noise MA             uniform noise on the measured currents, +-MA\n"
    "  --detune P             Kp and KL away from the values auto-tuning finds (60, 6)\n"
    "                         cost up to P % of the set current: the current falls short\n"
    "                         with KL's distance and wavers with Kp's\n"
    "  --help                 show this text\n"
    "  --version              show the version and the licence\n";

bool ParseUnsigned(const char* text, uint64_t max, uint64_t& out) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || text[0] == '-' || value > max) return false;
  out = value;
  return true;
}

// "16,17,22": a bit (1 << type) for each live reading named.
bool ParseReadings(const char* text, uint32_t& out) {
  uint32_t reports = 0;
  std::string_view rest = text;
  while (true) {
    const size_t comma = rest.find(',');
    const std::string item(rest.substr(0, comma));
    uint64_t type = 0;
    if (!ParseUnsigned(item.c_str(), velkor::RPT_POSITION, type) || type < velkor::RPT_PHASE) return false;
    reports |= uint32_t{1} << type;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  out = reports;
  return true;
}

bool ParseAmount(const char* text, double max, double& out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value >= 0 && value <= max)) return false;
  out = value;
  return true;
}

bool ParseProbability(const char* text, double& out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value >= 0 && value <= 1)) return false;
  out = value;
  return true;
}

// Fills `options` from the command line; false with a message on a bad flag.
bool ParseOptions(int argc, char** argv, EmulatorOptions& options, bool& help) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view flag = argv[i];
    if (flag == "--help" || flag == "-h") {
      help = true;
      return true;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "velkor-sim: %s needs a value\n", argv[i]);
      return false;
    }
    const char* value = argv[++i];
    uint64_t number = 0;
    bool ok = true;
    auto whole = [&](uint32_t& field) {
      ok = ParseUnsigned(value, UINT32_MAX, number);
      if (ok) field = static_cast<uint32_t>(number);
    };
    if (flag == "--period") whole(options.statusPeriodMs);
    else if (flag == "--readings") whole(options.readingsPerStatus);
    else if (flag == "--only-readings") ok = ParseReadings(value, options.liveReports);
    else if (flag == "--jog-timeout") whole(options.jogTimeoutMs);
    else if (flag == "--silent-at") whole(options.silentAtMs);
    else if (flag == "--silent-for") whole(options.silentForMs);
    else if (flag == "--hang-up-after") whole(options.hangUpAfterMs);
    else if (flag == "--report-delay") whole(options.reportDelayMs);
    else if (flag == "--power-cycle-at") whole(options.powerCycleAtMs);
    else if (flag == "--swap-at") whole(options.swapAtMs);
    else if (flag == "--ignore-stops") whole(options.ignoreStops);
    else if (flag == "--seed") ok = ParseUnsigned(value, UINT64_MAX, options.seed);
    else if (flag == "--drop") ok = ParseProbability(value, options.dropByteProbability);
    else if (flag == "--corrupt") ok = ParseProbability(value, options.corruptByteProbability);
    else if (flag == "--ignore") ok = ParseProbability(value, options.ignoreCommandProbability);
    else if (flag == "--wrong-ack") ok = ParseProbability(value, options.wrongAckProbability);
    else if (flag == "--eeprom") options.eepromPath = value;
    else if (flag == "--harmonic") ok = ParseAmount(value, 100, options.flaws.harmonicPercent);
    else if (flag == "--zero-distortion") ok = ParseAmount(value, 20000, options.flaws.zeroDeadbandMa);
    else if (flag == "--supply") ok = ParseAmount(value, 1000, options.flaws.supplyVolts);
    else if (flag == "--back-emf") ok = ParseAmount(value, 1000, options.flaws.backEmfVoltsPerKrpm);
    else if (flag == "--imbalance") ok = ParseAmount(value, 100, options.flaws.imbalancePercent);
    else if (flag == "--noise") ok = ParseAmount(value, 20000, options.flaws.noiseMa);
    else if (flag == "--detune") ok = ParseAmount(value, 100, options.flaws.detunePercent);
    else if (flag == "--current-limit") {
      ok = ParseUnsigned(value, 20000, number);
      if (ok) options.currentLimitMa = static_cast<uint16_t>(number);
    }
    else {
      std::fprintf(stderr, "velkor-sim: unknown option %s (see --help)\n", argv[i - 1]);
      return false;
    }
    if (!ok) {
      std::fprintf(stderr, "velkor-sim: bad value '%s' for %s (see --help)\n", value, argv[i - 1]);
      return false;
    }
  }
  if (options.statusPeriodMs == 0) {
    std::fprintf(stderr, "velkor-sim: the status period must be at least 1 ms\n");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!velkor::OpenStandardDescriptors()) return 1;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("velkor-sim %s\n%s", velkor::VERSION, velkor::VERSION_NOTICE);
    return 0;
  }
  EmulatorOptions options;
  bool help = false;
  if (!ParseOptions(argc, argv, options, help)) return 2;
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  // Saves are made while serving, where a failure could only be ignored: find
  // out now that the file can be written, and say so if it cannot be read.
  if (!options.eepromPath.empty()) {
    if (std::ifstream(options.eepromPath)) {
      if (!velkor::sim::LoadEeprom(options.eepromPath))
        std::fprintf(stderr, "velkor-sim: %s is damaged; starting from factory settings\n", options.eepromPath.c_str());
    } else if (!velkor::sim::SaveEeprom(options.eepromPath, velkor::sim::Parameters{})) {
      std::fprintf(stderr, "velkor-sim: cannot write %s\n", options.eepromPath.c_str());
      return 1;
    }
  }

  // Blocked before the serving thread starts, so that it inherits the mask and
  // the signals come to sigwait below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  velkor::sim::PtyRunner runner(options);
  if (!runner.Start()) {
    std::fprintf(stderr, "velkor-sim: no pseudo-terminal: %s\n", runner.Error().c_str());
    return 1;
  }
  std::printf("%s\n", runner.SlavePath().c_str());
  std::fflush(stdout);

  int received = 0;
  if (options.hangUpAfterMs == 0) {
    sigwait(&stopSignals, &received);
  } else {
    // Ends at the hang-up too; a stop signal still ends it sooner.
    const timespec interval{0, 10'000'000};
    while (runner.Serving() && sigtimedwait(&stopSignals, nullptr, &interval) < 0) {
    }
  }
  runner.Stop();
  return 0;
}
