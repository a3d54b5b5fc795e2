#!/usr/bin/env bash
# Installs the Debian packages of the sets asked for, only those missing, so a
# second run costs a dpkg query and nothing more.
#
# Usage: scripts/install-deps.sh SET...   (no set: run)
#   run       build and run Vennix, vennix-cli and the simulated terminal (./run.sh)
#   test      the test suites, the sanitizer builds, the compiler cache and ser2net
#             (the serial device server that the network-port tests start)
#   windows   the Windows cross build, its tests under wine, its zip and installer
#   clang     clang and its sanitizer runtimes (the sanitizer and fuzz builds)
#   fuzz      libFuzzer, for the fuzz targets
#   package   the Debian packages: dpkg-shlibdeps finds their library dependencies
#   all       every set above (./test.sh)
set -euo pipefail

declare -A sets
sets[run]="cmake g++ make ninja-build pkg-config qt6-base-dev libqt6svg6 libcli11-dev nlohmann-json3-dev nettle-dev libgtest-dev libgmock-dev libbenchmark-dev"
sets[test]="ccache xvfb xauth ser2net"
sets[windows]="g++-mingw-w64-x86-64-posix wine wine64 zip wixl librsvg2-bin icoutils xvfb"
sets[clang]="clang libclang-rt-14-dev"
sets[fuzz]="libfuzzer-14-dev"
sets[package]="dpkg-dev file"
order=(run test windows clang fuzz package)

usage() { sed -n '2,14s/^# \{0,1\}//p' "$0"; }

asked=("$@")
[ ${#asked[@]} -eq 0 ] && asked=(run)
wanted=()
for set in "${asked[@]}"; do
    case $set in
        -h|--help) usage; exit 0 ;;
        all) wanted+=("${order[@]}") ;;
        *)
            if [ -z "${sets[$set]+x}" ]; then
                echo "install-deps.sh: no set '$set' (sets: ${order[*]} all)" >&2
                exit 2
            fi
            wanted+=("$set") ;;
    esac
done

missing=()
for set in "${wanted[@]}"; do
    for package in ${sets[$set]}; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            [[ " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
        fi
    done
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq -o Dpkg::Use-Pty=0 --no-install-recommends "${missing[@]}"
