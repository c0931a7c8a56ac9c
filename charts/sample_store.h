// sample_store.h: the samples of the last MAX_SPAN_SECONDS, oldest first, in a
// ring allocated once, and the markers of the same time. The store never trims
// by what the window shows: a shorter span only shows less of it, so a span
// typed digit by digit loses nothing. The oldest sample goes when it is older
// than MAX_SPAN_SECONDS before the newest, or when the ring is full.
// Depends on sample.h and marker.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "marker.h"
#include "sample.h"

namespace velkor::charts {

inline constexpr int MIN_SPAN_SECONDS = 2;
inline constexpr int MAX_SPAN_SECONDS = 60;
inline constexpr int DEFAULT_SPAN_SECONDS = 10;
// 38400 baud carries 3840 bytes a second, fewer than 1000 reports of four
// bytes or more: the ring holds the longest span of every report the line can
// carry, with room for the gaps.
inline constexpr size_t MAX_SAMPLES = MAX_SPAN_SECONDS * 1000 + 1000;
inline constexpr size_t MAX_MARKERS = 1000;

class SampleStore {
 public:
  SampleStore();

  // A sample not older than the newest; an older one is taken as the newest.
  void Add(const Sample& sample);
  void Mark(const Marker& marker);
  void Clear();

  size_t Size() const { return size_; }
  // Samples added since the store was made or cleared: the sample At(i) is
  // the (Added() - Size() + i)th, so a reader can tell which it has seen.
  uint64_t Added() const { return added_; }
  bool Empty() const { return size_ == 0; }
  // 0 is the oldest sample held.
  const Sample& At(size_t index) const { return ring_[(first_ + index) % ring_.size()]; }
  const Sample& Newest() const { return At(size_ - 1); }
  // The index of the first sample at or after `seconds` (Size() when none).
  size_t FirstFrom(double seconds) const;
  // Oldest first.
  const std::deque<Marker>& Markers() const { return markers_; }

 private:
  void DropOld();

  std::vector<Sample> ring_;
  size_t first_ = 0;
  size_t size_ = 0;
  uint64_t added_ = 0;
  std::deque<Marker> markers_;
};

}  // namespace velkor::charts
