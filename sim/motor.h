// motor.h: a plausible two-winding stepper behind the driver. The shaft moves
// by steps (microsteps) at the jog speed, ramps with the jog acceleration when
// rotating, and the two winding currents follow the cosine and sine of the
// electrical angle. Depends on parameters.h and random_source.h.
#pragma once

#include <cstdint>

#include "parameters.h"
#include "random_source.h"

namespace velkor::sim {

inline constexpr int FULL_STEPS_PER_REVOLUTION = 200;  // a 1.8 degree motor
inline constexpr int FULL_STEPS_PER_CYCLE = 4;         // one electrical period
inline constexpr int TEST_FULL_STEPS = 20;             // the test move, each way
inline constexpr double TEST_RPM = 60;

enum class Motion { kIdle, kStep, kRotate, kTest };

// Imperfections of the motor, its driver's regulation and its supply, each
// off at 0. A motor with none is the regulator model of MoveMotor; with any,
// the measured current is the set current as each flaw bends it, at once,
// so that what is seen is the flaws alone. Every chance draws from the
// emulator's seeded noise source.
struct MotorFlaws {
  // A 3rd harmonic in both measured currents, in % of the set amplitude:
  // the current vector's length ripples by about as many %.
  double harmonicPercent = 0;
  // Near a zero crossing the current sticks: none below this many mA of set
  // current, catching up linearly by twice it.
  double zeroDeadbandMa = 0;
  // The supply, volts; 0: a supply that never runs short. With it, the
  // winding's impedance and the back-EMF (volts per 1000 rpm) leave less
  // current the faster the shaft turns, and the PWM saturates.
  double supplyVolts = 0;
  double backEmfVoltsPerKrpm = 20;
  // Winding B carries this many % less than set.
  double imbalancePercent = 0;
  // Uniform noise on the measured currents, ± mA.
  double noiseMa = 0;
  // Kp and KL away from the values auto-tuning finds cost up to this many %
  // of the set current: KL's distance makes the current fall short, Kp's
  // makes it waver.
  double detunePercent = 0;

  bool Any() const {
    return harmonicPercent > 0 || zeroDeadbandMa > 0 || supplyVolts > 0 || imbalancePercent > 0 || noiseMa > 0 ||
           detunePercent > 0;
  }
};

struct Motor {
  double position = 0;   // steps, with the fraction of the one in progress
  double speedRpm = 0;   // signed: positive turns towards ">"
  Motion motion = Motion::kIdle;
  int direction = 1;     // +1 ">", -1 "<"
  double target = 0;     // where a step move or the test's present leg ends
  bool testReturning = false;
  uint64_t restSinceUs = 0;  // when the shaft last came to rest

  // Live readings, refreshed by MoveMotor.
  int16_t phase = 0;
  int16_t setCurrentA = 0, setCurrentB = 0;  // mA
  double actualCurrentA = 0, actualCurrentB = 0;  // mA
  int16_t pwmA = 0, pwmB = 0;  // per mille of the supply
};

void StartStepMove(Motor& motor, int direction, int16_t steps);
void StartRotation(Motor& motor, int direction);
void StartTest(Motor& motor, const Parameters& parameters);
void StopMotor(Motor& motor, uint64_t nowUs);

// Moves the shaft by `stepUs` microseconds of time ending at `nowUs` and
// refreshes the readings.
void MoveMotor(Motor& motor, const Parameters& parameters, uint32_t stepUs, uint64_t nowUs, RandomSource& noise,
               const MotorFlaws& flaws = {});

// The value of live report `type` (15..22); the position wraps as a signed
// 16-bit counter.
int16_t LiveReportValue(const Motor& motor, uint8_t type);

// What auto-tuning measures on this winding, with the scatter of a real measurement.
struct TunedCoefficients {
  int16_t proportionalK;
  uint8_t levelingK;
};
TunedCoefficients TuneCurrentRegulation(RandomSource& noise);

}  // namespace velkor::sim
