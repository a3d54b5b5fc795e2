#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vennix with a simulated terminal
# beside it, so a download can be tried without a terminal on the desk.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug > /dev/null
cmake --build build -j2 --target vennix

exec ./build/src/app/vennix
