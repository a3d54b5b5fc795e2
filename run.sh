#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vennix with a simulated terminal
# beside it, so a download can be tried without a terminal on the desk. The
# simulator stops when Vennix exits.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh run
./scripts/build-release.sh

ready_file=$(mktemp)
rm -f "$ready_file"
# Paced like a real line, so a download takes the time it would take at that baud rate.
./build/tools/terminal-sim/vennix-terminal-sim --pace --ready-file="$ready_file" \
    > build/terminal-sim.log 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -f "$ready_file"' EXIT

for _ in $(seq 50); do
    [ -s "$ready_file" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -s "$ready_file" ]; then
    device=$(grep -o '/dev/pts/[0-9]*' build/terminal-sim.log | head -n 1 || true)
    echo "Simulated terminal: serial port $(cat "$ready_file") (pick it on the Serial tab), device ${device:-unknown}."
    if grep -q "TFTP server listening" build/terminal-sim.log 2>/dev/null; then
        echo "Simulated terminal: Ethernet address 127.0.0.1 (type it on the Ethernet tab)."
    fi
    echo "What the terminal sees is logged in build/terminal-sim.log."
else
    echo "The simulated terminal did not start; see build/terminal-sim.log. Starting Vennix alone."
fi
echo "Files to try: $PWD/build/demo/demo-firmware.bin (firmware) and $PWD/build/demo/demo-application.bff"
echo "(application): Browse to one and press Download."

./build/src/app/vennix
