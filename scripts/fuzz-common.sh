# Shared by scripts/test-fuzz.sh and scripts/fuzz.sh (sourced, not run): builds
# the fuzz targets and runs one of them, printing one line of figures.

fuzz_build() {
    . scripts/build-env.sh
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
          -DVENNIX_FUZZ=ON -DVENNIX_BUILD_UI=OFF -DVENNIX_BUILD_BENCH=OFF > /dev/null
    cmake --build build-fuzz -j2 --target vennix_fuzzers
}

# fuzz_targets: the names of every target, one per seed corpus folder.
fuzz_targets() {
    for corpus in fuzz/corpus/*/; do
        basename "$corpus"
    done
}

# fuzz_run TARGET WORKDIR LIBFUZZER-OPTIONS...: runs TARGET over its committed
# seeds (never written to) and WORKDIR (where new inputs go); findings land in
# build-fuzz/findings/TARGET/. Prints the figures; fails on a finding.
fuzz_run() {
    local target=$1 work=$2
    shift 2
    local findings=build-fuzz/findings/$target
    local log=build-fuzz/logs/$target.log
    mkdir -p "$work" "$findings" build-fuzz/logs
    local dict=()
    [ -f "fuzz/dict/$target.dict" ] && dict=(-dict="fuzz/dict/$target.dict")
    local status=0 started
    started=$(date +%s.%N)
    # Leak checking stays on. The settings library asks for whatever size a
    # forged serialised value names (gigabytes), reads only what is there and
    # copes when malloc refuses; the program's malloc refuses or merely reserves
    # such sizes, so here every malloc above 1 GiB is refused (returns null)
    # rather than reported.
    ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=1024:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
        "build-fuzz/fuzz/$target" -artifact_prefix="$findings/" -print_final_stats=1 -timeout=60 \
            "${dict[@]}" "$@" "$work" "fuzz/corpus/$target" > "$log" 2>&1 || status=$?
    local done_line units seconds
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
    units=$(sed -n 's/^stat::number_of_executed_units:[[:space:]]*//p' "$log" | tail -1)
    seconds=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
    # libFuzzer's own rate is a whole number of seconds' worth; short runs need this one.
    printf '%-24s %9s runs %7.1f s %9.0f execs/s  %s\n' "$target" "${units:-?}" "$seconds" \
        "$(awk -v u="${units:-0}" -v s="$seconds" 'BEGIN { print u / s }')" \
        "$(echo "$done_line" | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9a-zA-Z]+' || echo 'no figures')"
    if [ "$status" -ne 0 ]; then
        echo "FINDING in $target (exit $status); the input is in $findings/, the log in $log:"
        grep -E 'property broken|ERROR: |SUMMARY: |runtime error' "$log" | head -20 || tail -30 "$log"
        return 1
    fi
}
