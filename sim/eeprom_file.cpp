// eeprom_file.cpp: parameters to and from a small text file.
#include "eeprom_file.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

namespace velkor::sim {
namespace {

// Each field with its name in the file and the range it may hold there.
struct Field {
  std::string_view name;
  long low, high;
  long (*get)(const Parameters&);
  void (*set)(Parameters&, long);
};

const Field kFields[] = {
    {"steps", INT16_MIN, INT16_MAX, [](const Parameters& p) -> long { return p.steps; },
     [](Parameters& p, long v) { p.steps = static_cast<int16_t>(v); }},
    {"jog_speed", INT16_MIN, INT16_MAX, [](const Parameters& p) -> long { return p.jogSpeed; },
     [](Parameters& p, long v) { p.jogSpeed = static_cast<int16_t>(v); }},
    {"jog_accel", INT16_MIN, INT16_MAX, [](const Parameters& p) -> long { return p.jogAccel; },
     [](Parameters& p, long v) { p.jogAccel = static_cast<int16_t>(v); }},
    {"kl", 0, KL_MASK, [](const Parameters& p) -> long { return p.levelingK; },
     [](Parameters& p, long v) { p.levelingK = static_cast<uint8_t>(v); }},
    {"smoothing", 0, 1, [](const Parameters& p) -> long { return p.smoothing; },
     [](Parameters& p, long v) { p.smoothing = v != 0; }},
    {"kp", INT16_MIN, INT16_MAX, [](const Parameters& p) -> long { return p.proportionalK; },
     [](Parameters& p, long v) { p.proportionalK = static_cast<int16_t>(v); }},
    {"division", INT16_MIN, INT16_MAX, [](const Parameters& p) -> long { return p.stepDivision; },
     [](Parameters& p, long v) { p.stepDivision = static_cast<int16_t>(v); }},
    {"motion_current", INT16_MIN, INT16_MAX, [](const Parameters& p) -> long { return p.motionCurrent; },
     [](Parameters& p, long v) { p.motionCurrent = static_cast<int16_t>(v); }},
    {"reduction_delay", 0, UINT16_MAX, [](const Parameters& p) -> long { return p.reductionDelay; },
     [](Parameters& p, long v) { p.reductionDelay = static_cast<uint16_t>(v); }},
    {"holding_current", INT16_MIN, INT16_MAX, [](const Parameters& p) -> long { return p.holdingCurrent; },
     [](Parameters& p, long v) { p.holdingCurrent = static_cast<int16_t>(v); }},
    {"fault_current", INT16_MIN, INT16_MAX, [](const Parameters& p) -> long { return p.faultCurrent; },
     [](Parameters& p, long v) { p.faultCurrent = static_cast<int16_t>(v); }},
};

const Field* FindField(std::string_view name) {
  for (const Field& field : kFields)
    if (field.name == name) return &field;
  return nullptr;
}

}  // namespace

std::optional<Parameters> LoadEeprom(const std::string& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  Parameters parameters;
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream words(line);
    std::string name, rest;
    long value = 0;
    if (!(words >> name)) continue;  // blank line
    const Field* field = FindField(name);
    if (!field || !(words >> value) || (words >> rest) || value < field->low || value > field->high)
      return std::nullopt;
    field->set(parameters, value);
  }
  return parameters;
}

bool SaveEeprom(const std::string& path, const Parameters& parameters) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::trunc);
    for (const Field& field : kFields) file << field.name << ' ' << field.get(parameters) << '\n';
    file.flush();
    if (!file) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace velkor::sim
