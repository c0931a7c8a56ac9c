#!/usr/bin/env bash
# Starts the panel on a virtual X display, connects it to "Эмулятор VK-3",
# starts a rotation with the ">" button, opens "Графики" with Ctrl+G and,
# after a few seconds of traces, saves a picture of the chart window to
# res/screenshots/charts.png (or the path given).
# VELKOR_BUILD_DIR chooses the build folder (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."

find_window() {
  local name=$1 window=
  for _ in $(seq 100); do
    window=$(xdotool search --name "$name" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "no window $name" >&2; exit 1; }
  echo "$window"
}

# Runs on the virtual display: the panel, then what an operator would do.
shoot() {
  local build=$1 out=$2
  "$build/app/velkor" &
  panel=$!
  trap 'kill "$panel" 2>/dev/null || true' EXIT
  local window
  window=$(find_window '^Velkor$')
  xdotool windowfocus --sync "$window"
  # The focus starts on the port list; End picks its last entry, the emulator.
  xdotool key --window "$window" End
  sleep 2
  # ">" sits at 135,240 dialog units, 25 × 14: 1.5 px a unit across, 1.625 down.
  xdotool mousemove --window "$window" 221 401 click 1
  xdotool key --window "$window" ctrl+g
  local charts
  charts=$(find_window '^Графики$')
  sleep 8
  import -window "$charts" "$out"
}

if [ "${1:-}" = --on-display ]; then
  shoot "$2" "$3"
  exit
fi

bash scripts/install-deps.sh
out=${1:-res/screenshots/charts.png}
build=${VELKOR_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target velkor
mkdir -p "$(dirname "$out")"
xvfb-run -a -s '-screen 0 1000x800x24' bash "$0" --on-display "$build" "$out"
echo "saved $out"
