// panel_values.h: everything the main panel shows, in one record. The link
// writes the readings and parameters as reports arrive; the panel copies the
// whole record into its controls after every tick.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "status_texts.h"

namespace velkor {

struct PanelValues {
  // Stored parameters, as last reported by the driver.
  int16_t steps = 0;             // report 2
  int16_t jogSpeed = 0;          // report 3, rpm
  int16_t jogAccel = 0;          // report 4
  int32_t levelingK = 0;         // report 5, bits 0-3: KL
  int32_t proportionalK = 0;     // report 6: Kp
  double stepDivision = 0;       // report 7
  int16_t motionCurrent = 0;     // report 8, mA
  int32_t reductionDelay = 0;    // report 9, ms, read as unsigned 16-bit (0..65535)
  int16_t holdingCurrent = 0;    // report 10, mA
  int16_t faultCurrent = 0;      // report 11, mA

  // Live readings.
  int16_t phase = 0;             // report 15
  int16_t setCurrentA = 0;       // report 16, mA
  int16_t setCurrentB = 0;       // report 17, mA
  int16_t pwmA = 0;              // report 18
  int16_t pwmB = 0;              // report 19
  int16_t actualCurrentA = 0;    // report 20, mA
  int16_t actualCurrentB = 0;    // report 21, mA
  // Smoothed |A| + |B|, reports 20 and 21. The sum of two windings reaches
  // 65534 mA, past what 16 bits hold: narrower, it would wrap and never settle.
  int32_t totalCurrent = 0;
  int16_t position = 0;          // report 22, steps
  int32_t shaftSpeed = 0;        // smoothed report 23, rpm
  // Which of reports 15..23 have come since the link last started over, a
  // bit each (1 << type): a reading never reported is unknown, not zero.
  uint32_t liveReports = 0;

  // The status line and the smoothing caption only ever hold one of the fixed
  // texts, so views into them cost nothing on the tick path.
  std::string_view statusText = STATUS_CHOOSE_PORT;
  std::string_view smoothingCaption;  // empty until the first report 5

  // The operator's choices, brought in from the selectors by ReadPanel.
  std::string portName;
  std::string divisionChoice;
};

}  // namespace velkor
