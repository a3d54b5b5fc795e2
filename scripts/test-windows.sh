#!/usr/bin/env bash
# The Windows stage: cross-builds vennix-cli.exe and the core tests with
# mingw-w64 in build-win, runs the tests under wine in a private prefix, then
# end to end: the native terminal simulator's pseudo-terminal is mapped into the
# prefix as a COM port, and vennix-cli.exe under wine lists it, downloads a
# firmware and an application to it, writes a file over TFTP to the simulator's
# TFTP server on loopback, gives up on a silent terminal with its --timeout,
# tells of an unplugged line and ends on Ctrl-C; each download leaves a record
# that vennix-cli.exe history reads back.
# Leaves build-win/vennix-cli.exe and build-win/vennix-cli-windows.zip.
#
# Usage: scripts/test-windows.sh [build|run]   (no phase: both; after scripts/install-deps.sh windows)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=2
stage_start=$SECONDS
phase=${1:-all}

say() { echo "[windows $((SECONDS - stage_start))s] $*"; }
fail() { echo "windows stage FAILED: $*" >&2; exit 1; }

# The simulator and the TFTP unit are Linux programs; the TSan core build of
# test.sh has them, so only these two targets are built there.
native=build-tsan
if [ "$phase" != run ]; then
    echo "== Windows: cross build (mingw-w64)"
    cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release > /dev/null
    cmake --build build-win -j"$jobs"
    say "cross build done"
    if [ ! -f "$native/CMakeCache.txt" ]; then
        cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVENNIX_SANITIZE_THREAD=ON \
              -DVENNIX_BUILD_UI=OFF -DVENNIX_BUILD_BENCH=OFF > /dev/null
    fi
    cmake --build "$native" -j"$jobs" --target vennix-terminal-sim vennix-tftp-unit > /dev/null
    say "native simulator ready"
fi
[ "$phase" = build ] && exit 0

simulator=$root/$native/tools/terminal-sim/vennix-terminal-sim
tftp_unit=$root/$native/tests/windows/vennix-tftp-unit

# shellcheck source=scripts/wine-prefix.sh
source scripts/wine-prefix.sh
wine_run_begin "$root/build-win/wine-prefix"

echo "== Windows: core tests under wine"
for test in build-win/tests/windows/*_tests.exe; do
    wine "$test" --gtest_brief=1 > "$work/test.log" 2>&1 || { cat "$work/test.log"; fail "$test"; }
    say "$(basename "$test"): $(grep '^\[  PASSED  \]' "$work/test.log")"
done

echo "== Windows: vennix-cli.exe under wine against the terminal simulator"
# Each run is bounded, so that a program that hangs fails the stage instead of holding it.
cli=(timeout 120 wine "$root/build-win/vennix-cli.exe")
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/saved" "$work/tftp"

# Waits up to 15 s for a file to appear.
wait_for() {
    for _ in $(seq 150); do [ -s "$1" ] && return 0; sleep 0.1; done
    return 1
}

# Starts a simulator as COM<n> and maps its pseudo-terminal into the prefix.
start_terminal() {
    local number=$1; shift
    "$simulator" --com="$number" --ready-file="$work/ready-$number" --no-tftp "$@" > "$work/sim-$number.log" 2>&1 &
    pids+=($!)
    wait_for "$work/ready-$number" || { cat "$work/sim-$number.log"; fail "simulator COM$number did not start"; }
    wine_map_com "$number" "$(readlink "$XDG_CONFIG_HOME/Tavrix Corporation/ports/COM$number")"
}

head -c $((64 * 1024)) /dev/urandom > "$work/firmware.bin"
head -c $((32 * 1024)) /dev/urandom > "$work/application.bff"
head -c $((1024 * 1024 + 300)) /dev/urandom > "$work/tftp.bin"

start_terminal 40 --save-dir="$work/saved" --expect-size=$((32 * 1024))
# The prefix keeps its download log from run to run: this run's records are those since now.
since=$(date -u +%Y-%m-%dT%H:%M:%S)
"${cli[@]}" ports > "$work/ports.txt" 2>&1 || fail "ports: exit $?"
grep -q '^COM40' "$work/ports.txt" || { cat "$work/ports.txt"; fail "ports does not list COM40"; }
say "ports lists COM40"

"${cli[@]}" download "$(winepath -w "$work/firmware.bin")" --port COM40 --timeout 60 > "$work/cli.log" 2>&1 \
    || { cat "$work/cli.log" "$work/sim-40.log"; fail "firmware download"; }
wait_for "$work/saved/received-1.bin" || fail "the simulator kept no firmware"
cmp "$work/firmware.bin" "$work/saved/received-1.bin" || fail "firmware differs"
say "firmware: 64 KiB byte-identical, through the bootloader"

"${cli[@]}" download "$(winepath -w "$work/application.bff")" --port '\\.\COM40' --timeout 60 > "$work/cli.log" 2>&1 \
    || { cat "$work/cli.log" "$work/sim-40.log"; fail "application download"; }
grep -q 'Xon/Xoff' "$work/cli.log" || { cat "$work/cli.log"; fail "application not sent with Xon/Xoff"; }
wait_for "$work/saved/received-2.bin" || fail "the simulator kept no application"
cmp "$work/application.bff" "$work/saved/received-2.bin" || fail "application differs"
say "application: 32 KiB byte-identical, with Xon/Xoff, to \\\\.\\COM40"

"$tftp_unit" 0 "$work/tftp" > "$work/tftp.log" 2>&1 &
pids+=($!)
wait_for "$work/tftp.log" || fail "the TFTP server did not start"
tftp_port=$(sed -n 's/^listening on port //p' "$work/tftp.log")
"${cli[@]}" download "$(winepath -w "$work/tftp.bin")" --ip 127.0.0.1 --tftp-port "$tftp_port" --timeout 60 \
    > "$work/cli.log" 2>&1 || { cat "$work/cli.log" "$work/tftp.log"; fail "TFTP download"; }
wait_for "$work/tftp/received-1.bin" || fail "the TFTP server kept no file"
cmp "$work/tftp.bin" "$work/tftp/received-1.bin" || fail "TFTP file differs"
say "TFTP: 1 MiB byte-identical on loopback port $tftp_port"

# Each download above left its record in %LOCALAPPDATA%\Vennix, with the
# SHA-256 (BCrypt's) of the bytes read for sending.
"${cli[@]}" history --json --since "$since" > "$work/history.jsonl" 2> "$work/history.err" || { cat "$work/history.err"; fail "history"; }
for file in firmware.bin application.bff tftp.bin; do
    digest=$(sha256sum "$work/$file" | cut -d' ' -f1)
    grep -F "\"file_name\":\"$file\"" "$work/history.jsonl" | grep -q "\"sha256\":\"$digest\".*\"outcome\":\"finished\"" \
        || { cat "$work/history.jsonl"; fail "no finished record of $file with its SHA-256"; }
done
say "history: a finished record of each download, its digest as sha256sum gives it"

start_terminal 41 --silent
status=0
"${cli[@]}" download "$(winepath -w "$work/firmware.bin")" --port COM41 --timeout 1.5 > "$work/cli.log" 2>&1 || status=$?
[ "$status" -eq 4 ] || { cat "$work/cli.log"; fail "a silent terminal ended with exit $status, not 4"; }
grep -q 'Not finished within 1.5 seconds (--timeout)' "$work/cli.log" || { cat "$work/cli.log"; fail "no time-out text"; }
say "silent terminal: exit 4 after --timeout"
"${cli[@]}" history --csv --since "$since" --outcome timeout --target com41 > "$work/history.csv" 2>&1 || fail "history --csv"
[ "$(wc -l < "$work/history.csv")" -eq 2 ] && grep -q ',COM41,.*,timeout,' "$work/history.csv" \
    || { cat "$work/history.csv"; fail "the time-out has no record of its own"; }
say "history: the time-out's record, chosen by outcome and target"

# A paced line, so that the transfers below are still running when they are cut short.
head -c $((200 * 1024)) /dev/urandom > "$work/long.bin"

start_terminal 42 --loader=boot --pace --unplug-after=20000
status=0
"${cli[@]}" download "$(winepath -w "$work/long.bin")" --port COM42 --timeout 30 > "$work/cli.log" 2>&1 || status=$?
[ "$status" -eq 1 ] || { cat "$work/cli.log"; fail "an unplugged line ended with exit $status, not 1"; }
grep -q 'The connection to COM42 was lost' "$work/cli.log" || { cat "$work/cli.log"; fail "no lost-connection text"; }
say "unplugged mid-transfer: exit 1, the connection was lost"

# Ctrl-C: wine hands SIGINT to the program as the console's Ctrl-C event.
start_terminal 43 --loader=boot --pace
# Not under timeout, which would pass the signal on twice (to the program and
# to its group); the program's own --timeout and the watch below bound it.
wine "$root/build-win/vennix-cli.exe" download "$(winepath -w "$work/long.bin")" --port COM43 --timeout 30 \
    > "$work/cli.log" 2>&1 &
cli_pid=$!
for _ in $(seq 100); do grep -q 'Downloading using' "$work/cli.log" && break; sleep 0.1; done
sleep 1
kill -INT "$cli_pid"
for _ in $(seq 200); do kill -0 "$cli_pid" 2> /dev/null || break; sleep 0.1; done
if kill -0 "$cli_pid" 2> /dev/null; then
    kill -KILL "$cli_pid"
    fail "Ctrl-C did not end the program within 20 s"
fi
status=0
wait "$cli_pid" || status=$?
[ "$status" -eq 3 ] || { cat "$work/cli.log"; fail "Ctrl-C ended with exit $status, not 3"; }
grep -q 'User cancelled' "$work/cli.log" || { cat "$work/cli.log"; fail "no cancel text"; }
say "Ctrl-C mid-transfer: exit 3, cancelled"

# The artifact: the program and a short README, beside it in build-win.
package=$work/vennix-cli-windows
mkdir -p "$package"
cp build-win/vennix-cli.exe "$package/"
sed 's/$/\r/' docs/windows/README.txt > "$package/README.txt"   # Windows line ends
rm -f build-win/vennix-cli-windows.zip
(cd "$work" && zip -q -r "$root/build-win/vennix-cli-windows.zip" vennix-cli-windows)
say "artifact: build-win/vennix-cli.exe and build-win/vennix-cli-windows.zip"
say "stage done"
