#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: first the core
# tests under ThreadSanitizer, the core and vennix-cli cross-built for Windows and run
# under wine, the whole suite (core and windows) under AddressSanitizer and UBSan, the
# fuzz targets for a short while, then the Debian packages from the optimised build
# that ./run.sh runs.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh all

jobs=2
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVENNIX_SANITIZE_THREAD=ON \
      -DVENNIX_BUILD_UI=OFF -DVENNIX_BUILD_BENCH=OFF > /dev/null
cmake --build build-tsan -j"$jobs"
echo "== Core tests under ThreadSanitizer"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir build-tsan -L core --output-on-failure -j"$jobs" --timeout 300

./scripts/test-windows.sh
./scripts/test-asan.sh
./scripts/test-fuzz.sh
./scripts/test-package.sh
