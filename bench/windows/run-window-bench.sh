#!/usr/bin/env bash
# The Win32 window's figures under wine on a virtual screen:
# - the time from start to the window, and the processor the program uses
#   while it sits idle with its port open to a quiet terminal;
# - the throughput of mixed bytes through the real program: the native
#   simulator, mapped as a COM port, sends every byte value as fast as the
#   line takes them once vennix.exe has opened the port at start, at three
#   sizes to show whether the rate stays flat;
# - the results box alone, megabyte by megabyte.
#
# Usage: bench/windows/run-window-bench.sh [megabytes]   (default 32, the results box alone)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-win -j2 --target vennix vennix-window-probe vennix-results-box-bench > /dev/null
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVENNIX_BUILD_UI=OFF > /dev/null
cmake --build build-bench -j2 --target vennix-terminal-sim > /dev/null
simulator=$root/build-bench/tools/terminal-sim/vennix-terminal-sim

source scripts/wine-prefix.sh
wine_run_begin "$root/build-win/wine-bench-prefix"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
wine_desktop_start
wine build-win/tests/win32/vennix-window-probe.exe --wait-desktop
caption="Lumetra Download Utility"
settings_key='HKCU\software\Tavrix Corporation\vennix'

wait_for() { # file, text, tenths of a second
    for _ in $(seq "${3:-300}"); do grep -q "$2" "$1" 2> /dev/null && return 0; sleep 0.1; done
    echo "gave up waiting for '$2' in $1" >&2
    return 1
}

# A simulator as COM<n>, the remaining options its own, picked in the settings
# with the port opened at start.
start_terminal() {
    local number=$1; shift
    rm -f "$work/ready"
    "$simulator" --com="$number" --no-tftp --ready-file="$work/ready" "$@" > "$work/sim-$number.log" 2>&1 &
    pids+=($!)
    wait_for "$work/ready" COM
    wine_map_com "$number" "$(readlink "$XDG_CONFIG_HOME/Tavrix Corporation/ports/COM$number")"
    local value
    for value in "serialport REG_SZ COM$number" "baud REG_SZ 115200" "dataformat REG_SZ 8n1" \
                 "portstatus REG_DWORD 1" "useethernet REG_DWORD 0"; do
        set -- $value
        wine reg add "$settings_key" /v "$1" /t "$2" /d "$3" /f > /dev/null 2>&1
    done
}

echo "== start to window, and idle with the port open (quiet apploader)"
# One byte of traffic, so that the simulator says when the port was opened.
start_terminal 60 --loader=app --stream=1
# Processor ticks (user and system) of a Linux process.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hertz=$(getconf CLK_TCK)
for run in 1 2 3; do
    wine build-win/tests/win32/vennix-window-probe.exe "$(winepath -w build-win/vennix.exe)" "$caption" 12 \
        > "$work/probe.log" 2>&1 &
    probe=$!
    wait_for "$work/probe.log" "window after" 300
    sleep 1
    # From Linux: the probe's own figure for another process reads 0 under wine.
    # The wine server counts too: the port's waits and transfers pass through it.
    program=$(pgrep -n -x vennix.exe)
    server=$(for pid in $(pgrep '^wineserver'); do
        tr '\0' '\n' < "/proc/$pid/environ" 2> /dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done | head -1)
    before=$(ticks "$program") server_before=$(ticks "$server")
    sleep 10
    after=$(ticks "$program") server_after=$(ticks "$server")
    wait "$probe"
    echo "run $run: $(head -1 "$work/probe.log"); idle processor use over 10 s:" \
        "$(awk -v t=$((after - before)) -v s=$((server_after - server_before)) -v hz="$hertz" \
            'BEGIN { printf "vennix.exe %.2f %%, wine server %.2f %%", 100 * t / hz / 10, 100 * s / hz / 10 }')"
done
grep -q "the port was opened" "$work/sim-60.log" || echo "(the simulator never saw the port open: not idle with it open)"

echo "== mixed bytes through vennix.exe (every byte value, as fast as the line takes them)"
# The stream's seconds from the simulator's own log: from the port's opening
# to the last piece handed to the line.
stream_seconds() {
    awk -F'[][]' '/the port was opened: sending/ { start = $2 } /console traffic sent/ { end = $2 }
        END { printf "%.2f", end - start }' "$1"
}
number=61
for megabytes in 4 16 32; do
    start_terminal "$number" --loader=off --stream=$((megabytes * 1000000)) --stream-mix=mixed
    wine build-win/vennix.exe > /dev/null 2>&1 &
    program=$!
    wait_for "$work/sim-$number.log" "console traffic sent" 1200 || true
    seconds=$(stream_seconds "$work/sim-$number.log")
    awk -v mb="$megabytes" -v s="$seconds" 'BEGIN { printf "%2d MB in %5.2f s: %.2f MB/s\n", mb, s, mb / s }'
    kill "$program" 2> /dev/null || true
    wait "$program" 2> /dev/null || true
    number=$((number + 1))
done

echo "== the results box alone"
wine build-win/bench/windows/vennix-results-box-bench.exe "${1:-32}"
