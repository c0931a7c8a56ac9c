#!/usr/bin/env bash
# Builds the program in Release and makes its Debian package,
# build-release/velkor_<version>_amd64.deb: the panel, velkorctl, the emulator,
# their manual pages, the desktop entry and the icons, the copyright file and
# the changelog, its Depends read off the binaries.
# Install it with: apt-get install ./build-release/velkor_*_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j "$(nproc)" \
  --target velkor velkorctl velkor-sim velkor_icons velkor_man_pages velkor_changelog
(cd build-release && cpack -G DEB)
