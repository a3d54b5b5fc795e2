#!/usr/bin/env bash
# Test stage: builds the libFuzzer targets with clang (AddressSanitizer and
# UBSan) and runs each for a fixed number of inputs after its seed corpus:
# enough to catch a regression, about a minute in all. scripts/fuzz.sh runs
# them for longer by hand.
#
# Usage: scripts/test-fuzz.sh [build|run]   (no phase: both)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/fuzz-common.sh

# New inputs per target, chosen so that each takes a few seconds: the targets
# that go through a pseudo-terminal, loopback sockets or a settings file are
# slower by orders of magnitude than the pure parsers.
declare -A runs=(
    [fuzz_console_rendering]=2000
    [fuzz_serial_unescape]=4000
    [fuzz_settings_load]=500
    [fuzz_tftp_client]=150
)

phase=${1:-all}
[ "$phase" != run ] && fuzz_build
[ "$phase" = build ] && exit 0
echo "== Fuzz targets, short runs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for target in $(fuzz_targets); do
    fuzz_run "$target" "$work/$target" -runs="${runs[$target]:-200000}" -seed=1 || failed=1
done
exit $failed
