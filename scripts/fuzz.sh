#!/usr/bin/env bash
# Runs every fuzz target for SECONDS (default 600) each, by hand, and prints
# executions per second and coverage. New inputs collect in
# build-fuzz/corpus/<target>/ and carry over to the next run; findings land in
# build-fuzz/findings/<target>/. Copy a finding into fuzz/corpus/<target>/ once
# it is fixed, so that every later run replays it.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     JOBS=2 scripts/fuzz.sh: two at a time
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/fuzz-common.sh

seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && mapfile -t targets < <(fuzz_targets)
jobs=${JOBS:-1}

fuzz_build
echo "== Fuzzing ${#targets[@]} targets for ${seconds} s each, $jobs at a time"
failed=0
running=0
for target in "${targets[@]}"; do
    fuzz_run "$target" "build-fuzz/corpus/$target" -max_total_time="$seconds" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || failed=1
        running=$((running - 1))
    fi
done
while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done
exit $failed
