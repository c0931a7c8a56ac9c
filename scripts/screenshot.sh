#!/usr/bin/env bash
# Starts the panel on a virtual X display, chooses "Эмулятор VK-3" in its port
# list with the keyboard, waits until the emulated driver has connected and
# saves a picture of the panel's window to res/screenshots/panel.png (or the path given).
# VELKOR_BUILD_DIR chooses the build folder (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."

# Runs on the virtual display: the panel, then the keys an operator would press.
shoot() {
  local build=$1 out=$2
  "$build/app/velkor" &
  panel=$!
  trap 'kill "$panel" 2>/dev/null || true' EXIT
  local window=
  for _ in $(seq 100); do
    window=$(xdotool search --name '^Velkor$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "the panel did not appear" >&2; exit 1; }
  xdotool windowfocus --sync "$window"
  # The focus starts on the port list; End picks its last entry, the emulator.
  xdotool key --window "$window" End
  sleep 2
  import -window "$window" "$out"
}

if [ "${1:-}" = --on-display ]; then
  shoot "$2" "$3"
  exit
fi

bash scripts/install-deps.sh
out=${1:-res/screenshots/panel.png}
build=${VELKOR_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target velkor
mkdir -p "$(dirname "$out")"
xvfb-run -a -s '-screen 0 640x520x24' bash "$0" --on-display "$build" "$out"
echo "saved $out"
