// motor.cpp: shaft motion and winding currents.
#include "motor.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "codes.h"

namespace velkor::sim {
namespace {

constexpr double WINDING_OHMS = 1.2;
constexpr double WINDING_MILLIHENRIES = 2.4;
constexpr double SUPPLY_VOLTS = 24;
constexpr double NOISE_FLOOR_MA = 8;
constexpr double NOISE_SHARE = 0.01;    // of the set current
constexpr double PWM_FULL_SCALE = 1000;  // per mille
constexpr double MICROSECONDS_PER_SECOND = 1e6;
// What auto-tuning derives Kp and KL from, and so the values it finds.
constexpr double KP_PER_MILLIHENRY = 25;
constexpr double KL_PER_OHM = 5;
constexpr double TUNED_KP = WINDING_MILLIHENRIES * KP_PER_MILLIHENRY;
constexpr double TUNED_KL = WINDING_OHMS * KL_PER_OHM;
constexpr double SECONDS_PER_MINUTE = 60;

// A division the driver cannot use (zero, negative) runs in full steps.
int Division(const Parameters& p) { return std::max<int>(1, p.stepDivision); }

double StepsPerSecond(double rpm, const Parameters& p) {
  return rpm * FULL_STEPS_PER_REVOLUTION * Division(p) / SECONDS_PER_MINUTE;
}

int16_t Wrap16(double steps) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<int64_t>(std::floor(steps))));
}

// A step move or a test leg: constant speed, and it ends exactly on the
// target however the fractions of each millisecond added up. True on arrival.
bool MoveToTarget(Motor& m, const Parameters& p, double rpm, double seconds) {
  const double advance = StepsPerSecond(rpm, p) * seconds;
  m.speedRpm = m.direction * rpm;
  if (advance < std::abs(m.target - m.position)) {
    m.position += m.direction * advance;
    return false;
  }
  m.position = m.target;
  return true;
}

// The regulator closes on the set current faster the higher Kp; smoothing
// halves the ripple that the measurement sees.
double Follow(double actual, int16_t set, const Parameters& p, RandomSource& noise) {
  const double gain = std::clamp((p.proportionalK + 1) / 64.0, 0.02, 1.0);
  double ripple = NOISE_FLOOR_MA + NOISE_SHARE * std::abs(set);
  if (p.smoothing) ripple /= 2;
  return actual + gain * (set - actual) + ripple * noise.Symmetric();
}

int16_t Pwm(double actualMa) {
  const double duty = actualMa * WINDING_OHMS / SUPPLY_VOLTS;  // mA·Ω/V = per mille
  return static_cast<int16_t>(std::lround(std::clamp(duty, -PWM_FULL_SCALE, PWM_FULL_SCALE)));
}

// How far a coefficient is from its tuned value, as a share of it, at most 1.
double Mistuning(double value, double tuned) { return std::min(1.0, std::abs(value - tuned) / tuned); }

double ElectricalRadiansPerSecond(double rpm) {
  return 2 * std::numbers::pi * std::abs(rpm) / SECONDS_PER_MINUTE * FULL_STEPS_PER_REVOLUTION / FULL_STEPS_PER_CYCLE;
}

double ImpedanceOhms(double rpm) {
  return std::hypot(WINDING_OHMS, ElectricalRadiansPerSecond(rpm) * WINDING_MILLIHENRIES / 1000);
}

double BackEmfVolts(double rpm, const MotorFlaws& f) { return f.backEmfVoltsPerKrpm * std::abs(rpm) / 1000; }

// The most current the supply can drive through the winding at this speed.
double AvailableMa(double rpm, const MotorFlaws& f) {
  return std::max(0.0, f.supplyVolts - BackEmfVolts(rpm, f)) / ImpedanceOhms(rpm) * 1000;
}

// The measured current of a flawed motor: the set current bent by each flaw
// in turn. `angle` is the electrical angle, `amplitude` the set amplitude.
double FlawedCurrent(int16_t set, bool windingB, double amplitude, double angle, double rpm, const Parameters& p,
                     const MotorFlaws& f, RandomSource& noise) {
  double current = set;
  current += f.harmonicPercent / 100 * amplitude * (windingB ? -std::sin(3 * angle) : std::cos(3 * angle));
  if (f.zeroDeadbandMa > 0 && std::abs(current) < 2 * f.zeroDeadbandMa)
    current = std::copysign(std::max(0.0, 2 * (std::abs(current) - f.zeroDeadbandMa)), current);
  if (windingB) current *= 1 - f.imbalancePercent / 100;
  if (f.detunePercent > 0) {
    const double droop = f.detunePercent / 100 * Mistuning(p.levelingK, TUNED_KL);
    const double waver = f.detunePercent / 100 * Mistuning(p.proportionalK, TUNED_KP);
    current = current * (1 - droop) + waver * std::abs(set) * noise.Symmetric();
  }
  if (f.supplyVolts > 0) {
    const double available = AvailableMa(rpm, f);
    current = std::clamp(current, -available, available);
  }
  return current + f.noiseMa * noise.Symmetric();
}

// With a supply of its own: the voltage the winding needs (impedance drop and
// back-EMF) over the supply, at most the full scale.
int16_t FlawedPwm(double actualMa, double rpm, const MotorFlaws& f) {
  if (f.supplyVolts <= 0) return Pwm(actualMa);
  const double volts = std::abs(actualMa) / 1000 * ImpedanceOhms(rpm) + BackEmfVolts(rpm, f);
  const double duty = std::min(PWM_FULL_SCALE, volts / f.supplyVolts * PWM_FULL_SCALE);
  return static_cast<int16_t>(std::lround(actualMa < 0 ? -duty : duty));
}

}  // namespace

void StartStepMove(Motor& m, int direction, int16_t steps) {
  m.motion = Motion::kStep;
  m.direction = direction;
  m.target = m.position + direction * std::abs(int{steps});
}

void StartRotation(Motor& m, int direction) {
  m.motion = Motion::kRotate;
  m.direction = direction;
}

void StartTest(Motor& m, const Parameters& p) {
  m.motion = Motion::kTest;
  m.direction = 1;
  m.target = m.position + TEST_FULL_STEPS * Division(p);
  m.testReturning = false;
}

void StopMotor(Motor& m, uint64_t nowUs) {
  if (m.motion != Motion::kIdle || m.speedRpm != 0) m.restSinceUs = nowUs;
  m.motion = Motion::kIdle;
  m.speedRpm = 0;
}

void MoveMotor(Motor& m, const Parameters& p, uint32_t stepUs, uint64_t nowUs, RandomSource& noise,
               const MotorFlaws& flaws) {
  const double seconds = stepUs / MICROSECONDS_PER_SECOND;
  switch (m.motion) {
    case Motion::kIdle: break;
    case Motion::kStep:
      if (MoveToTarget(m, p, std::abs(p.jogSpeed), seconds)) StopMotor(m, nowUs);
      break;
    case Motion::kTest:
      if (!MoveToTarget(m, p, TEST_RPM, seconds)) break;
      if (m.testReturning) {
        StopMotor(m, nowUs);
      } else {
        m.testReturning = true;
        m.direction = -1;
        m.target = m.position - TEST_FULL_STEPS * Division(p);
      }
      break;
    case Motion::kRotate: {
      const double target = m.direction * std::abs(p.jogSpeed);
      const double change = p.jogAccel > 0 ? p.jogAccel * seconds : std::abs(target - m.speedRpm);
      m.speedRpm = std::clamp(target, m.speedRpm - change, m.speedRpm + change);
      m.position += StepsPerSecond(m.speedRpm, p) * seconds;
      break;
    }
  }

  const int cycle = FULL_STEPS_PER_CYCLE * Division(p);
  const int64_t whole = static_cast<int64_t>(std::floor(m.position));
  m.phase = static_cast<int16_t>(((whole % cycle) + cycle) % cycle);
  const bool resting = m.motion == Motion::kIdle && nowUs - m.restSinceUs >= uint64_t{p.reductionDelay} * 1000;
  const double amplitude = resting ? p.holdingCurrent : p.motionCurrent;
  const double angle = 2 * std::numbers::pi * m.phase / cycle;
  m.setCurrentA = static_cast<int16_t>(std::lround(amplitude * std::cos(angle)));
  m.setCurrentB = static_cast<int16_t>(std::lround(amplitude * std::sin(angle)));
  if (flaws.Any()) {
    m.actualCurrentA = FlawedCurrent(m.setCurrentA, false, amplitude, angle, m.speedRpm, p, flaws, noise);
    m.actualCurrentB = FlawedCurrent(m.setCurrentB, true, amplitude, angle, m.speedRpm, p, flaws, noise);
    m.pwmA = FlawedPwm(m.actualCurrentA, m.speedRpm, flaws);
    m.pwmB = FlawedPwm(m.actualCurrentB, m.speedRpm, flaws);
    return;
  }
  m.actualCurrentA = Follow(m.actualCurrentA, m.setCurrentA, p, noise);
  m.actualCurrentB = Follow(m.actualCurrentB, m.setCurrentB, p, noise);
  m.pwmA = Pwm(m.actualCurrentA);
  m.pwmB = Pwm(m.actualCurrentB);
}

int16_t LiveReportValue(const Motor& m, uint8_t type) {
  switch (type) {
    case RPT_PHASE: return m.phase;
    case RPT_SET_CURRENT_A: return m.setCurrentA;
    case RPT_SET_CURRENT_B: return m.setCurrentB;
    case RPT_PWM_A: return m.pwmA;
    case RPT_PWM_B: return m.pwmB;
    case RPT_ACTUAL_CURRENT_A: return static_cast<int16_t>(std::lround(m.actualCurrentA));
    case RPT_ACTUAL_CURRENT_B: return static_cast<int16_t>(std::lround(m.actualCurrentB));
    case RPT_POSITION: return Wrap16(m.position);
    default: return 0;
  }
}

TunedCoefficients TuneCurrentRegulation(RandomSource& noise) {
  constexpr double SCATTER = 0.05;
  const double inductance = WINDING_MILLIHENRIES * (1 + SCATTER * noise.Symmetric());
  const double resistance = WINDING_OHMS * (1 + SCATTER * noise.Symmetric());
  return {static_cast<int16_t>(std::lround(std::clamp(inductance * KP_PER_MILLIHENRY, 0.0, 255.0))),
          static_cast<uint8_t>(std::lround(std::clamp(resistance * KL_PER_OHM, 0.0, double{KL_MASK})))};
}

}  // namespace velkor::sim
