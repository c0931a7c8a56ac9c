#!/usr/bin/env bash
# Builds the benchmarks in Release and prints every figure in one table:
# codec throughput, the analysis's share of a core, reading a large profile, and command latency over a pseudo-terminal and through
# ser2net on loopback, then the real
# panel on a virtual X11 display, as the operator has it: processor use, input
# and keystroke latency, command latency beside the chart window, start-up,
# memory, and an adapter pulled out and plugged in again. About five minutes;
# the figures are a shared machine's, so run it on a quiet one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j "$(nproc)" --target frame_codec_bench command_latency_bench panel_process_bench \
  keystroke_bench chart_command_latency_bench replug_bench profile_load_bench analysis_bench >/dev/null

echo "| Measure | Figure | Target |"
echo "|---|---|---|"
build-bench/bench/frame_codec_bench --benchmark_format=csv 2>/dev/null | awk -F, '
  BEGIN { what["BM_DecodeReports"] = "report-frame decoder"; what["BM_EncodeCommands"] = "command-frame encoder" }
  NR > 1 {
    gsub(/"/, "", $1)
    printf "| Throughput, %s | %.1f MB/s, %.0f × the line rate of 3840 B/s | > 1 × |\n", what[$1], $6 / 1e6, $NF
  }'
# The analysis at the busy driver's rate: eight live readings and the status
# report each 10 ms (900 reports a second) through the tracker, the crawl and
# the sweep recorder at once, and the tracker's figures read ten times a
# second, as a window refreshes them. Goal: below 0.5 % of one core.
build-bench/bench/analysis_bench --benchmark_format=csv 2>/dev/null | awk -F, '
  NR > 1 { gsub(/"/, "", $1); ns[$1] = 1e9 / $7 }
  END {
    feed = ns["BM_TrackerReport"] + ns["BM_CrawlReport"] + ns["BM_SweepReport"]
    printf "| Analysis, per report (tracker, crawl, sweep) | %.0f ns, %.0f ns, %.0f ns | |\n", ns["BM_TrackerReport"], ns["BM_CrawlReport"], ns["BM_SweepReport"]
    printf "| Analysis, the tracker figures over a 2 s window | %.1f µs | |\n", ns["BM_TrackerFigures"] / 1e3
    printf "| Analysis, share of a core at 900 reports/s and 10 refreshes/s | %.3f %% | < 0.5 %% |\n", (900 * feed + 10 * ns["BM_TrackerFigures"]) / 1e9 * 100
  }'
build-bench/bench/command_latency_bench
build-bench/bench/profile_load_bench
# The panel's figures count only on a real X server. Qt talks on stderr; the
# figures are on stdout.
for bench in panel_process_bench keystroke_bench chart_command_latency_bench replug_bench; do
  QT_QPA_PLATFORM=xcb xvfb-run -a "build-bench/bench/$bench" 2>/dev/null
done
