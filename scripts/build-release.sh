#!/usr/bin/env bash
# Builds the optimised program in `build` (RelWithDebInfo): what ./run.sh starts
# and what the Debian package is made from. Extra arguments are further targets.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/build-env.sh

# Line tables only: backtraces and profiles keep their files and lines, the
# packages are stripped anyway, and the build is quicker.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" > /dev/null
cmake --build build -j2 --target vennix vennix-cli vennix-terminal-sim vennix-demo-files "$@"
