#!/usr/bin/env bash
# Starts the panel on a virtual X display, chooses "Эмулятор VK-3" in its port
# list with the keyboard as an operator would, and saves a picture:
#   scripts/screenshot.sh [panel] [OUT]   the panel, connected (res/screenshots/panel.png)
#   scripts/screenshot.sh charts [OUT]    "Графики" after a few seconds of a rotation
#                                         (res/screenshots/charts.png)
#   scripts/screenshot.sh states [OUT]    the parameter displays' marks, with a
#                                         tooltip (res/screenshots/parameter-states.png);
#   scripts/screenshot.sh states-dark [OUT]   the same on a dark palette
#   scripts/screenshot.sh profile-clamp [OUT]         "Профили…" after applying res/profiles/example.json
#   scripts/screenshot.sh profile-link-dropped [OUT]  to a driver that clamps currents at 1200 mA, or that
#                                         is unplugged mid-apply (res/screenshots/profile-*.png); the
#                                         window's rows and the commands the driver received are printed
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
  local build=$1 what=$2 out=$3
  "$build/app/velkor" &
  panel=$!
  trap 'kill "$panel" 2>/dev/null || true' EXIT
  local window
  window=$(find_window '^Velkor$')
  xdotool windowfocus --sync "$window"
  # The focus starts on the port list; End picks its last entry, the emulator.
  xdotool key --window "$window" End
  sleep 2
  if [ "$what" = panel ]; then
    import -window "$window" "$out"
    return
  fi
  # ">" under "Вращать" sits at 135,240 dialog units, 25 × 14: 1.5 px a unit across, 1.625 down.
  xdotool mousemove --window "$window" 221 401 click 1
  xdotool key --window "$window" ctrl+g
  local charts
  charts=$(find_window '^Графики$')
  sleep 8
  import -window "$charts" "$out"
}

if [ "${1:-}" = --on-display ]; then
  shoot "$2" "$3" "$4"
  exit
fi

what=panel screen=640x520x24
case "${1:-}" in
  charts | panel | states | states-dark | profile-clamp | profile-link-dropped) what=$1; shift ;;
esac
[ "$what" = charts ] && screen=1000x800x24
case "$what" in
  states) out=${1:-res/screenshots/parameter-states.png} ;;
  states-dark) out=${1:-res/screenshots/parameter-states-dark.png} ;;
  *) out=${1:-res/screenshots/$what.png} ;;
esac

bash scripts/install-deps.sh
build=${VELKOR_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The profiles window is driven by a program of the bench's that builds the
# real panel and opens an emulated driver with the fault it needs.
if [ "$what" = profile-clamp ] || [ "$what" = profile-link-dropped ]; then
  cmake --build "$build" -j 2 --target profile_screenshot
  mkdir -p "$(dirname "$out")"
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1360x620x24" \
    "$build/bench/profile_screenshot" "${what#profile-}" res/profiles/example.json "$out"
  exit
fi
# The marks are made by a program that drives the panel and its emulator itself.
if [ "$what" = states ] || [ "$what" = states-dark ]; then
  cmake --build "$build" -j 2 --target parameter_states_shot
  mkdir -p "$(dirname "$out")"
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1100x520x24" \
    "$build/tests/panel/parameter_states_shot" "$out" $([ "$what" = states-dark ] && echo --dark)
  echo "saved $out"
  exit
fi
cmake --build "$build" -j 2 --target velkor
mkdir -p "$(dirname "$out")"
xvfb-run -a -s "-screen 0 $screen" bash "$0" --on-display "$build" "$what" "$out"
echo "saved $out"
