#!/usr/bin/env bash
# Times vennix-cli.exe under wine beside the Linux vennix-cli in the same run,
# against the same native simulator: a serial firmware download to the paced
# bootloader at 115200 (time against the line-rate bound), and a TFTP download
# to the simulator's unit model (one datagram at a time, each costing c ms, 8
# receive buffers) at each cost: time and DATA datagrams per block.
#
# Usage: bench/windows/run-bench.sh [firmware-KiB [tftp-KiB [cost-ms ...]]]
#        (default 256 KiB, 4096 KiB, costs 0 and 5 ms)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
firmware_kib=${1:-256}
tftp_kib=${2:-4096}
shift $(($# > 2 ? 2 : $#))
costs=("$@")
[ ${#costs[@]} -gt 0 ] || costs=(0 5)

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVENNIX_BUILD_UI=OFF > /dev/null
cmake --build build-bench -j2 --target vennix-terminal-sim vennix-tftp-unit vennix-cli > /dev/null
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-win -j2 --target vennix-cli > /dev/null
simulator=$root/build-bench/tools/terminal-sim/vennix-terminal-sim
tftp_unit=$root/build-bench/tests/windows/vennix-tftp-unit

source scripts/wine-prefix.sh
wine_run_begin "$root/build-win/wine-bench-prefix"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"

head -c $((firmware_kib * 1024)) /dev/urandom > "$work/firmware.bin"
head -c $((tftp_kib * 1024)) /dev/urandom > "$work/tftp.bin"

wait_for() {
    for _ in $(seq 300); do [ -s "$1" ] && grep -q "${2:-.}" "$1" && return 0; sleep 0.1; done
    echo "gave up waiting for $1" >&2
    return 1
}

# The transfer's seconds from the summary of --json (from the first block on).
seconds_of() { python3 -c 'import json,sys
for line in open(sys.argv[1]):
    event = json.loads(line)
    if event.get("event") == "result":
        assert event["outcome"] == "finished", event
        print("%.2f" % event["seconds"])' "$1"; }

run_cli() {
    local platform=$1; shift
    if [ "$platform" = windows ]; then
        wine "$root/build-win/vennix-cli.exe" "$@"
    else
        "$root/build-bench/src/cli/vennix-cli" "$@"
    fi
}

serial_run() {
    local platform=$1 number=$2
    rm -f "$work/ready"
    "$simulator" --com="$number" --loader=boot --pace --no-tftp --ready-file="$work/ready" > "$work/sim.log" 2>&1 &
    local pid=$!
    pids+=($pid)
    wait_for "$work/ready"
    wine_map_com "$number" "$(readlink "$XDG_CONFIG_HOME/Tavrix Corporation/ports/COM$number")"
    local file=$work/firmware.bin
    [ "$platform" = windows ] && file=$(winepath -w "$file")
    run_cli "$platform" download "$file" --port "COM$number" --json --timeout 600 > "$work/result.json"
    wait_for "$work/sim.log" "on the line"
    local line_bytes
    line_bytes=$(sed -n 's/.* bytes, \([0-9]*\) on the line.*/\1/p' "$work/sim.log" | head -1)
    kill "$pid"
    wait "$pid" 2> /dev/null || true
    # The unit's view: from the frame's first byte to its acceptance. The
    # client's ends when its last bytes are handed to the device, which may
    # still hold some of them.
    local first last seconds bound
    first=$(sed -n 's/^\[ *\([0-9.]*\)\] receiving firmware.*/\1/p' "$work/sim.log" | head -1)
    last=$(sed -n 's/^\[ *\([0-9.]*\)\] firmware ACCEPTED.*/\1/p' "$work/sim.log" | head -1)
    seconds=$(seconds_of "$work/result.json")
    bound=$(python3 -c "print('%.2f' % ($line_bytes * 10 / 115200))")
    printf '| %-7s | %s KiB | %s | %.2f s | %s s | %s s | %.3f |\n' "$platform" "$firmware_kib" "$line_bytes" \
        "$(python3 -c "print($last - $first)")" "$seconds" "$bound" "$(python3 -c "print(($last - $first) / $bound)")"
}

tftp_run() {
    local platform=$1 cost=$2
    : > "$work/unit.log"
    mkdir -p "$work/tftp"
    rm -f "$work/tftp/"*
    "$tftp_unit" 0 "$work/tftp" "$cost" 8 > "$work/unit.log" 2>&1 &
    local pid=$!
    pids+=($pid)
    wait_for "$work/unit.log" "listening"
    local port
    port=$(sed -n 's/^listening on port //p' "$work/unit.log")
    local file=$work/tftp.bin
    [ "$platform" = windows ] && file=$(winepath -w "$file")
    run_cli "$platform" download "$file" --ip 127.0.0.1 --tftp-port "$port" --json --timeout 600 > "$work/result.json"
    wait_for "$work/unit.log" "^file"
    kill "$pid"
    wait "$pid" 2> /dev/null || true
    cmp -s "$work/tftp.bin" "$work/tftp/received-1.bin" || echo "warning: the file arrived changed" >&2
    local data blocks
    data=$(sed -n 's/^file .* bytes, \([0-9]*\) DATA for \([0-9]*\) blocks.*/\1/p' "$work/unit.log")
    blocks=$(sed -n 's/^file .* bytes, \([0-9]*\) DATA for \([0-9]*\) blocks.*/\2/p' "$work/unit.log")
    local seconds
    seconds=$(seconds_of "$work/result.json")
    printf '| %-7s | %s ms | %s s | %s s | %.3f |\n' "$platform" "$cost" "$seconds" \
        "$(python3 -c "print('%.2f' % ($blocks * $cost / 1000))")" "$(python3 -c "print($data / $blocks)")"
}

echo "Serial: firmware of $firmware_kib KiB to the paced bootloader at 115200 bit/s (10 bits a byte)"
echo
echo "| build   | file | bytes on the line | time at the unit | time at the client | line-rate bound | unit time / bound |"
echo "|---|---|---|---|---|---|---|"
serial_run linux 40
serial_run windows 41

echo
echo "TFTP: $tftp_kib KiB to the unit model on loopback (8 receive buffers; the bound is blocks x c)"
echo
echo "| build   | cost c | time | bound | DATA per block |"
echo "|---|---|---|---|---|"
for cost in "${costs[@]}"; do
    tftp_run linux "$cost"
    tftp_run windows "$cost"
done
