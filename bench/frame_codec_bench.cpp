// frame_codec_bench.cpp: throughput of the report-frame decoder and of the
// command-frame encoder, in bytes a second and as a multiple of the line rate
// (38400 baud, 10 bits a byte: 3840 bytes a second).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "frame.h"

namespace {

constexpr double LINE_BYTES_PER_SECOND = 3840.0;

// A driver's typical traffic: live readings and status reports.
std::vector<uint8_t> TypicalStream() {
  std::vector<uint8_t> stream;
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> value(-20000, 20000);
  while (stream.size() < 64 * 1024) {
    for (uint8_t type = 15; type <= 23; ++type) {
      const velkor::Frame f = velkor::EncodeReportFrame(type, static_cast<int16_t>(value(rng)));
      stream.insert(stream.end(), f.bytes, f.bytes + f.size);
    }
  }
  return stream;
}

void BM_DecodeReports(benchmark::State& state) {
  const std::vector<uint8_t> stream = TypicalStream();
  velkor::FrameDecoder decoder;
  int64_t frames = 0;
  for (auto _ : state) {
    for (uint8_t b : stream)
      if (decoder.FeedByte(b)) ++frames;
    benchmark::DoNotOptimize(frames);
  }
  const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(stream.size());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["x_line_rate"] =
      benchmark::Counter(bytes / LINE_BYTES_PER_SECOND, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeReports);

void BM_EncodeCommands(benchmark::State& state) {
  int64_t bytes = 0;
  int16_t value = -32768;
  uint8_t seq = 10;
  for (auto _ : state) {
    const velkor::Frame f = velkor::EncodeCommandFrame(seq, 4, value);
    benchmark::DoNotOptimize(f);
    bytes += f.size;
    value = static_cast<int16_t>(value + 7919);
    seq = seq >= 19 ? 10 : static_cast<uint8_t>(seq + 1);
  }
  state.SetBytesProcessed(bytes);
  state.counters["x_line_rate"] =
      benchmark::Counter(static_cast<double>(bytes) / LINE_BYTES_PER_SECOND, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EncodeCommands);

}  // namespace

BENCHMARK_MAIN();
