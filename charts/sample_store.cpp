// sample_store.cpp: the ring, its trimming by age, and the markers beside it.
#include "sample_store.h"

#include <algorithm>

namespace velkor::charts {

SampleStore::SampleStore() : ring_(MAX_SAMPLES) {}

void SampleStore::Add(const Sample& sample) {
  if (size_ == ring_.size()) {
    first_ = (first_ + 1) % ring_.size();
    --size_;
  }
  Sample& slot = ring_[(first_ + size_) % ring_.size()];
  slot = sample;
  // Times never go back within the store: the traces are cut into columns by time.
  if (size_ > 0) slot.seconds = std::max(slot.seconds, Newest().seconds);
  ++size_;
  ++added_;
  DropOld();
}

void SampleStore::Mark(const Marker& marker) {
  if (markers_.size() == MAX_MARKERS) markers_.pop_front();
  markers_.push_back(marker);
}

void SampleStore::Clear() {
  first_ = 0;
  size_ = 0;
  added_ = 0;
  markers_.clear();
}

size_t SampleStore::FirstFrom(double seconds) const {
  size_t low = 0, high = size_;
  while (low < high) {
    const size_t middle = (low + high) / 2;
    if (At(middle).seconds < seconds)
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

void SampleStore::DropOld() {
  const double oldestKept = Newest().seconds - MAX_SPAN_SECONDS;
  while (size_ > 1 && At(0).seconds < oldestKept) {
    first_ = (first_ + 1) % ring_.size();
    --size_;
  }
  while (!markers_.empty() && markers_.front().seconds < oldestKept) markers_.pop_front();
}

}  // namespace velkor::charts
