#!/usr/bin/env bash
# Builds the panel and starts it. Installs what the build needs from Debian's
# packages first (as root). Choose "Эмулятор VK-3" in the port list to try it
# without a driver.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=${VELKOR_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target velkor

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'MSG'
There is no display: neither DISPLAY nor WAYLAND_DISPLAY is set, so the panel
has nowhere to open its window. Either
  - run this from a desktop session (or over ssh -X), or
  - start it on a virtual display:   xvfb-run -a bash scripts/run.sh
    (scripts/screenshot.sh does that and saves a picture of the panel), or
  - start it without any screen:     QT_QPA_PLATFORM=offscreen bash scripts/run.sh
MSG
  exit 1
fi
exec "$build/app/velkor"
