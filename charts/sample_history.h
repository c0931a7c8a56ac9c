// sample_history.h: the samples of the last few seconds, oldest first, in a
// ring allocated once. A sample older than the span before the newest one is
// dropped, and so is the oldest when the ring is full. Depends on sample.h.
#pragma once

#include <cstddef>
#include <vector>

#include "sample.h"

namespace velkor::charts {

inline constexpr int MIN_SPAN_SECONDS = 2;
inline constexpr int MAX_SPAN_SECONDS = 60;
inline constexpr int DEFAULT_SPAN_SECONDS = 10;
// The poll tick runs at most once a millisecond, so this holds the longest
// span at the fastest tick.
inline constexpr size_t MAX_SAMPLES = MAX_SPAN_SECONDS * 1000;

class SampleHistory {
 public:
  SampleHistory();

  void Add(const Sample& sample);
  void Clear();
  // Clamped to MIN_SPAN_SECONDS..MAX_SPAN_SECONDS; a shorter span drops at
  // once what falls outside it.
  void SetSpan(int seconds);
  int Span() const { return span_; }

  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  // 0 is the oldest sample held.
  const Sample& At(size_t index) const { return ring_[(first_ + index) % ring_.size()]; }
  const Sample& Newest() const { return At(size_ - 1); }

 private:
  void DropOlderThanSpan();

  std::vector<Sample> ring_;
  size_t first_ = 0;
  size_t size_ = 0;
  int span_ = DEFAULT_SPAN_SECONDS;
};

}  // namespace velkor::charts
