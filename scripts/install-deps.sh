#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, only when
# one is missing, so a second run costs a dpkg query and nothing more.
set -euo pipefail

packages=(cmake g++ make pkg-config qt6-base-dev libqt6svg6 libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev nettle-dev xvfb xauth)
# The Windows cross build, its tests under wine and its zip (scripts/test-windows.sh).
packages+=(g++-mingw-w64-x86-64-posix wine wine64 zip)
# Fuzz targets (scripts/test-fuzz.sh): clang, libFuzzer and clang's sanitizer runtimes.
packages+=(clang libfuzzer-14-dev libclang-rt-14-dev)
# The Debian packages: dpkg-shlibdeps finds their library dependencies.
packages+=(dpkg-dev file)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
