// parameters.h: the driver's ten stored parameters, how a parameter command
// changes them and which report carries each back. Plain data; depends only
// on the wire's codes.
#pragma once

#include <cstdint>
#include <optional>

namespace velkor::sim {

// Factory settings: what a driver with a blank EEPROM starts with.
struct Parameters {
  int16_t steps = 200;             // steps moved by one step action
  int16_t jogSpeed = 60;           // rpm
  int16_t jogAccel = 100;          // rpm per second; 0 jumps to speed at once
  uint8_t levelingK = 2;           // KL, 0..15
  bool smoothing = false;
  int16_t proportionalK = 30;      // Kp
  int16_t stepDivision = 8;        // microsteps per full step
  int16_t motionCurrent = 1000;    // mA
  uint16_t reductionDelay = 500;   // ms at rest before the holding current
  int16_t holdingCurrent = 500;    // mA
  int16_t faultCurrent = 5000;     // mA

  bool operator==(const Parameters&) const = default;
};

inline constexpr uint8_t KL_MASK = 0x0F;
inline constexpr int16_t SMOOTHING_BIT = 0x10;

// The report type (2..11) that shows the result of parameter command `code`
// (2..11); nothing for any other code.
std::optional<uint8_t> ReportForCommand(uint8_t code);

// Stores the value of parameter command `code` (2..11). KL keeps its four
// bits only: that is all report 5 has room for.
void ApplyParameterCommand(Parameters& parameters, uint8_t code, int16_t value);
// Holds the current that parameter command `code` sets (motion, holding or
// fault) at or below `limitMa`; 0: no limit. Other commands change nothing.
void ClampCurrent(Parameters& parameters, uint8_t code, uint16_t limitMa);

// The value of parameter report `type` (2..11).
int16_t ParameterReportValue(const Parameters& parameters, uint8_t type);

}  // namespace velkor::sim
