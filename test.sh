#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, stage by stage.
# The builds take both cores one after the other; each stage's tests start as soon
# as its build is done and run beside the next stage's build, since they spend
# much of their time waiting on pseudo-terminals, sockets and wine. Each stage
# ends with its name and its times; the run ends with a table of them and
# ctest's summary line.
#
# Usage: ./test.sh [STAGE...]    (no stage: every stage, as CI runs it)
#        ./test.sh --help
set -euo pipefail
cd "$(dirname "$0")"

stages=(tsan windows asan fuzz package)
declare -A about=(
    [tsan]="core tests under ThreadSanitizer (build-tsan, clang)"
    [windows]="vennix.exe, vennix-cli.exe and the core cross-built with mingw-w64; their tests, the window and vennix.msi under wine (build-win)"
    [asan]="every test, the Qt window's included, under AddressSanitizer and UBSan (build-asan, clang)"
    [fuzz]="every fuzz target for a fixed number of inputs (build-fuzz, clang)"
    [package]="the optimised build that ./run.sh runs, the benchmarks, the Debian packages (build)"
)
# The packages each stage needs (scripts/install-deps.sh sets).
declare -A needs=(
    [tsan]="run test clang" [windows]="run test windows clang" [asan]="run test clang" [fuzz]="run test clang fuzz"
    [package]="run test package"
)

usage() {
    sed -n '2,10s/^# \{0,1\}//p' "$0"
    echo
    echo "Stages, in the order they run:"
    for stage in "${stages[@]}"; do
        printf '  %-8s %s\n' "$stage" "${about[$stage]}"
    done
}

selected=()
for arg in "$@"; do
    case $arg in
        -h|--help) usage; exit 0 ;;
        *)
            if [ -z "${about[$arg]+x}" ]; then
                echo "test.sh: no stage '$arg'; stages: ${stages[*]} (see --help)" >&2
                exit 2
            fi ;;
    esac
done
# Always in the stages' own order, whatever order they were named in.
for stage in "${stages[@]}"; do
    if [ $# -eq 0 ] || [[ " $* " == *" $stage "* ]]; then
        selected+=("$stage")
    fi
done

sets=()
for stage in "${selected[@]}"; do
    sets+=(${needs[$stage]})
done
./scripts/install-deps.sh "${sets[@]}"

export QT_QPA_PLATFORM=offscreen
logs=build-logs
mkdir -p "$logs"

# seconds N: "1m05s".
seconds() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

declare -A build_time run_time result run_pid run_start
run_total_start=$SECONDS

# Collects the tests of a stage whose run has ended: prints its log and its times.
collect() {
    local stage=$1 status=0
    wait "${run_pid[$stage]}" || status=$?
    run_time[$stage]=$(< "$logs/$stage.seconds")
    cat "$logs/$stage.log"
    if [ "$status" -eq 0 ]; then result[$stage]=passed; else result[$stage]="FAILED (exit $status)"; fi
    echo "== Stage $stage ${result[$stage]}: build $(seconds "${build_time[$stage]}"), tests $(seconds "${run_time[$stage]}")"
    unset "run_pid[$stage]"
}

for stage in "${selected[@]}"; do
    echo "== Stage $stage: ${about[$stage]}"
    started=$SECONDS
    status=0
    ./scripts/test-"$stage".sh build || status=$?
    build_time[$stage]=$((SECONDS - started))
    if [ "$status" -ne 0 ]; then
        result[$stage]="FAILED (build, exit $status)"
        run_time[$stage]=0
        echo "== Stage $stage ${result[$stage]}: build $(seconds "${build_time[$stage]}")"
        continue
    fi
    echo "== Stage $stage: built in $(seconds "${build_time[$stage]}"); its tests run in the background"
    (
        start=$SECONDS
        status=0
        ./scripts/test-"$stage".sh run > "$logs/$stage.log" 2>&1 || status=$?
        echo $((SECONDS - start)) > "$logs/$stage.seconds"
        exit "$status"
    ) &
    run_pid[$stage]=$!
done

for stage in "${selected[@]}"; do
    [ -n "${run_pid[$stage]+x}" ] && collect "$stage"
done

echo
echo "Stage     Result                       Build     Tests"
failed=0
for stage in "${selected[@]}"; do
    printf '%-9s %-28s %-9s %s\n' "$stage" "${result[$stage]}" "$(seconds "${build_time[$stage]}")" \
        "$(seconds "${run_time[$stage]}")"
    [ "${result[$stage]}" = passed ] || failed=1
done
printf '%-9s %-28s %s\n' all "" "$(seconds $((SECONDS - run_total_start))) (wall clock)"
echo
# ctest's own summary line of the widest suite that ran, last, for whoever reads the end.
for stage in asan tsan; do
    if [ -f "$logs/$stage.log" ] && [[ " ${selected[*]} " == *" $stage "* ]]; then
        grep -E '^[0-9]+% tests passed' "$logs/$stage.log" | tail -1 && break
    fi
done
exit "$failed"
