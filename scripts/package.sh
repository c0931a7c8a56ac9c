#!/usr/bin/env bash
# Builds the program in Release and makes its Debian package,
# build-release/velkor_<version>_amd64.deb: the panel, the emulator, the
# desktop entry and the icons, its Depends read off the binaries.
# Install it with: apt-get install ./build-release/velkor_*_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j "$(nproc)" --target velkor velkor-sim velkor_icons
(cd build-release && cpack -G DEB)
