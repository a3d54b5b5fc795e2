#!/usr/bin/env bash
# The Win32 window's figures under wine on a virtual screen: the results box's
# throughput of mixed bytes, megabyte by megabyte.
#
# Usage: bench/windows/run-window-bench.sh [megabytes]   (default 32)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-win -j2 --target vennix-results-box-bench > /dev/null

source scripts/wine-prefix.sh
wine_run_begin "$root/build-win/wine-bench-prefix"
wine_desktop_start
wine build-win/bench/windows/vennix-results-box-bench.exe "${1:-32}"
