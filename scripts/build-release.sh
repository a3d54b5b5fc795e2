#!/usr/bin/env bash
# Builds the optimised program in `build` (RelWithDebInfo): what ./run.sh starts
# and what the Debian package is made from. Extra arguments are further targets.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j2 --target vennix vennix-cli vennix-terminal-sim vennix-demo-files "$@"
