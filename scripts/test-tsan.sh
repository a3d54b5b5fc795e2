#!/usr/bin/env bash
# Test stage: the core (no window) built with ThreadSanitizer in build-tsan, and
# its tests. Any report ends the test that caused it.
#
# Usage: scripts/test-tsan.sh [build|run]   (no phase: both)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/build-env.sh
phase=${1:-all}

if [ "$phase" != run ]; then
    configure_tsan_tree
    cmake --build build-tsan -j2
fi
if [ "$phase" != build ]; then
    echo "== Core tests under ThreadSanitizer"
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        ctest --test-dir build-tsan -L core --output-on-failure -j2 --timeout 300
fi
