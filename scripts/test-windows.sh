#!/usr/bin/env bash
# The Windows stage: cross-builds vennix-cli.exe and the core tests with
# mingw-w64 in build-win, runs the tests under wine in a private prefix, then
# end to end: the native terminal simulator's pseudo-terminal is mapped into the
# prefix as a COM port, and vennix-cli.exe under wine lists it, downloads a
# firmware and an application to it, writes a file over TFTP to the simulator's
# TFTP server on loopback, gives up on a silent terminal with its --timeout,
# tells of an unplugged line and ends on Ctrl-C; each download leaves a record
# that vennix-cli.exe history reads back. Then the window program on a
# virtual screen: its dialogs driven in process (its downloads recorded in the
# same log, its history dialog among them), and vennix.msi installed,
# upgraded over an older package, started from its Start-menu entry and removed.
# Leaves build-win/vennix.exe, build-win/vennix-cli.exe, build-win/vennix.msi
# and build-win/vennix-windows.zip.
#
# Usage: scripts/test-windows.sh [build|run]   (no phase: both; after scripts/install-deps.sh windows)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/build-env.sh
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
    [ -f "$native/CMakeCache.txt" ] || configure_tsan_tree
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

echo "== Windows: vennix.exe's dialogs under wine on a virtual screen"
wine_desktop_start || fail "no virtual screen"
timeout 60 wine build-win/tests/win32/vennix-window-probe.exe --wait-desktop || fail "the wine desktop did not start"
# Terminals for the dialogs that talk to one, each in its own state, the
# files to download and the TFTP server started above.
mkdir -p "$work/saved-window"
start_terminal 44 --loader=boot
start_terminal 45 --loader=app
start_terminal 46 --loader=off --power-cycle-on-induce=300
start_terminal 47 --silent
start_terminal 48 --save-dir="$work/saved-window" --expect-size=$((32 * 1024))
start_terminal 49 --loader=off --power-cycle-on-induce=300
start_terminal 50 --chatter-ms=20 --chatter-always
export VENNIX_TEST_PORTS=boot=COM44,app=COM45,induce=COM46,silent=COM47,download=COM48,induce-window=COM49,chatter=COM50
export VENNIX_TEST_FILES="firmware=$(winepath -w "$work/firmware.bin"),application=$(winepath -w "$work/application.bff"),tftp=$(winepath -w "$work/tftp.bin")"
export VENNIX_TEST_TFTP_PORT=$tftp_port
run_window_tests() { # test program, then gtest options
    local test=$1; shift
    timeout 300 wine "$test" --gtest_brief=1 "$@" > "$work/test.log" 2>&1 || { cat "$work/test.log"; fail "$test"; }
    grep -q '^\[  SKIPPED \]' "$work/test.log" && { cat "$work/test.log"; fail "$test skipped cases that need the simulator"; }
    say "$(basename "$test"): $(grep '^\[  PASSED  \]' "$work/test.log")"
}
for test in build-win/tests/win32/*_tests.exe; do
    run_window_tests "$test" --gtest_filter=-*Pulled*
done
# The pulled adapter: a terminal whose cable goes a moment after it starts.
start_terminal 51 --unplug-after-ms=2500
VENNIX_TEST_PORTS=unplug=COM51 run_window_tests build-win/tests/win32/win32_terminal_tests.exe --gtest_filter=*Pulled*
cmp "$work/firmware.bin" "$work/saved-window/received-1.bin" || fail "the window's firmware differs"
cmp "$work/application.bff" "$work/saved-window/received-2.bin" || fail "the window's application differs"
cmp "$work/tftp.bin" "$work/tftp/received-2.bin" || fail "the window's TFTP file differs"
say "the window's downloads: firmware, application (Xon/Xoff) and TFTP byte-identical"
# The window recorded them in the same log as vennix-cli, each with its digest.
"${cli[@]}" history --json --since "$since" > "$work/history.jsonl" 2> "$work/history.err" || { cat "$work/history.err"; fail "history"; }
for file in firmware.bin application.bff tftp.bin; do
    digest=$(sha256sum "$work/$file" | cut -d' ' -f1)
    grep -F '"program":"vennix",' "$work/history.jsonl" | grep -F "\"file_name\":\"$file\"" |
        grep "\"sha256\":\"$digest\".*\"outcome\":\"finished\"" > /dev/null \
        || { cat "$work/history.jsonl"; fail "the window left no finished record of $file with its SHA-256"; }
done
say "history: the window's record of each of its downloads, beside vennix-cli's"

echo "== Windows: vennix.msi under wine"
probe=(timeout 120 wine "$root/build-win/tests/win32/vennix-window-probe.exe")
caption="Lumetra Download Utility"
settings_key='HKCU\software\Tavrix Corporation\vennix'
installed="$WINEPREFIX/drive_c/Program Files/Vennix"
# The products the registry lists as installed under the name Vennix, with their versions.
installed_versions() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2> /dev/null | tr -d '\r' |
        awk '/DisplayName/ { name = $3 } /DisplayVersion/ { version = $3 } /^HKEY/ { if (name == "Vennix") print version; name = ""; version = "" }
             END { if (name == "Vennix") print version }'
}
msiexec() { timeout 120 wine msiexec "$@" /qn; }

# A package left installed in the prefix by an earlier run goes first.
for product in $(wine uninstaller --list 2> /dev/null | tr -d '\r' | awk -F'[|]+' '$2 == "Vennix" { print $1 }'); do
    msiexec /x "$product" || fail "could not remove the Vennix $product left by an earlier run"
done

# An older package with the same UpgradeCode, for the upgrade in place.
generated=src/win32/generated
(cd build-win && wixl -a x64 -D Version=1.1.0 -D BinDir=. -D IconFile=$generated/vennix.ico \
    -D ReadmeFile=$generated/README.txt -o "$work/vennix-older.msi" ../src/win32/installer/vennix.wxs) 2> /dev/null \
    || fail "wixl could not build the older package"
msiexec /i "$(winepath -w "$work/vennix-older.msi")" || fail "the older package did not install"
[ "$(installed_versions)" = "1.1.0" ] || fail "installed: '$(installed_versions)', not 1.1.0"
msiexec /i "$(winepath -w build-win/vennix.msi)" || fail "vennix.msi did not install over the older one"
[ "$(installed_versions)" = "1.2.0" ] || fail "after the upgrade: '$(installed_versions)', not 1.2.0 alone"
cmp build-win/vennix.exe "$installed/vennix.exe" && cmp build-win/vennix-cli.exe "$installed/vennix-cli.exe" \
    || fail "Program Files\\Vennix does not hold both programs"
say "vennix.msi: installed over 1.1.0 in place; Program Files\\Vennix holds vennix.exe and vennix-cli.exe"

shortcut=$(find "$WINEPREFIX/drive_c" -name Vennix.lnk -path '*Start Menu*' | head -1)
[ -n "$shortcut" ] || fail "no Start-menu entry"
wine reg delete "$settings_key" /f > /dev/null 2>&1 || true
"${probe[@]}" "$(winepath -w "$shortcut")" "$caption" > "$work/probe.log" 2>&1 || { cat "$work/probe.log"; fail "the installed program showed no window"; }
wine reg query "$settings_key" /v portstatus > /dev/null 2>&1 || fail "the installed program saved no settings"
say "Start-menu entry: $(head -1 "$work/probe.log"), closed with its settings saved"

msiexec /x "$(winepath -w build-win/vennix.msi)" || fail "vennix.msi did not uninstall"
[ -z "$(installed_versions)" ] || fail "still installed after removal: $(installed_versions)"
[ ! -e "$installed/vennix.exe" ] || fail "vennix.exe left in Program Files"
[ ! -e "$shortcut" ] || fail "Start-menu entry left behind"
wine reg query "$settings_key" /v portstatus > /dev/null 2>&1 || fail "removing the package took the user's settings"
say "vennix.msi removed; the user's settings stay"

# The artifact for people who copy rather than install: both programs and a
# short README, beside them in build-win.
package=$work/vennix-windows
mkdir -p "$package"
cp build-win/vennix.exe build-win/vennix-cli.exe build-win/src/win32/generated/README.txt "$package/"
rm -f build-win/vennix-windows.zip
(cd "$work" && zip -q -r "$root/build-win/vennix-windows.zip" vennix-windows)
say "artifacts: build-win/vennix.exe, vennix-cli.exe, vennix.msi and vennix-windows.zip"
say "stage done"
