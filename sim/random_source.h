// random_source.h: the emulator's only source of chance (fault injection and
// measurement noise). A fixed engine and hand-made conversions, so one seed
// gives the same run on every machine and library. C++ library only.
#pragma once

#include <cstdint>
#include <random>

namespace velkor::sim {

class RandomSource {
 public:
  explicit RandomSource(uint64_t seed) : engine_(seed) {}

  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
  // Uniform in [-1, 1).
  double Symmetric() { return 2.0 * Uniform() - 1.0; }
  // True with the given probability; never true for 0, always for 1.
  bool Chance(double probability) { return probability > 0 && Uniform() < probability; }
  // Uniform in [0, n), n > 0.
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Uniform() * n); }

 private:
  std::mt19937_64 engine_;
};

}  // namespace velkor::sim
