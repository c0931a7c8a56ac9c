#!/usr/bin/env bash
# Builds everything and runs every test; then builds the link, the emulator and
# their tests again under AddressSanitizer and UndefinedBehaviorSanitizer and
# runs those too, then the Release build and its package, then the fuzz
# targets; last it checks that every system file those builds used comes with
# scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVELKOR_CORE_ONLY=ON -DVELKOR_SANITIZE=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# The Release build, as scripts/package.sh and scripts/bench.sh make it (GCC
# warns differently at -O3), and the package made from it, checked by lintian.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release
cmake --build build-release -j "$jobs"
ctest --test-dir build-release --output-on-failure -R '^install_tree_and_deb_package$'

# Fuzz targets (clang, libFuzzer), each for a fixed number of inputs from a fixed seed.
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_FUZZ=ON
cmake --build build-fuzz -j "$jobs"
ctest --test-dir build-fuzz --output-on-failure

bash scripts/check-deps.sh build build-sanitize build-release build-fuzz
