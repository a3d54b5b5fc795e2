#!/usr/bin/env bash
# Builds and runs the Ethernet download benchmark. The stock TFTP client and
# server it compares against (Debian's atftp and tftpd-hpa) are installed here
# when missing: only this benchmark uses them, never the tests. The server is
# started by the benchmark itself on a high loopback port, not as a service.
#
# Usage: bench/ethernet/run-bench.sh [size-in-KiB [cost-ms ...]]
set -euo pipefail
cd "$(dirname "$0")/../.."

missing=()
for package in atftp tftpd-hpa; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing for the comparison: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
    # The package starts a system server on port 69 where a machine runs
    # services; that port belongs to the terminal simulator here.
    if [[ " ${missing[*]} " == *" tftpd-hpa "* ]] && command -v systemctl > /dev/null; then
        "${sudo_cmd[@]}" systemctl disable --now tftpd-hpa > /dev/null 2>&1 || true
    fi
fi

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVENNIX_BUILD_UI=OFF > /dev/null
cmake --build build-bench -j2 --target ethernet_bench
exec build-bench/bench/ethernet/ethernet_bench "$@"
