// sample_history.cpp: the ring and its trimming by time.
#include "sample_history.h"

#include <algorithm>

namespace velkor::charts {

SampleHistory::SampleHistory() : ring_(MAX_SAMPLES) {}

void SampleHistory::Add(const Sample& sample) {
  if (size_ == ring_.size()) {
    first_ = (first_ + 1) % ring_.size();
    --size_;
  }
  ring_[(first_ + size_) % ring_.size()] = sample;
  ++size_;
  DropOlderThanSpan();
}

void SampleHistory::Clear() {
  first_ = 0;
  size_ = 0;
}

void SampleHistory::SetSpan(int seconds) {
  span_ = std::clamp(seconds, MIN_SPAN_SECONDS, MAX_SPAN_SECONDS);
  DropOlderThanSpan();
}

void SampleHistory::DropOlderThanSpan() {
  if (size_ == 0) return;
  const double oldestKept = Newest().seconds - span_;
  while (size_ > 1 && At(0).seconds < oldestKept) {
    first_ = (first_ + 1) % ring_.size();
    --size_;
  }
}

}  // namespace velkor::charts
