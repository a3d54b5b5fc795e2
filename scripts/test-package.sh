#!/usr/bin/env bash
# Builds the Debian packages from the optimised build that ./run.sh uses, and
# checks that they hold the programs, the menu entry, the icon and the demo files.
#
# Usage: scripts/test-package.sh [build|run]   (no phase: both)
set -euo pipefail
cd "$(dirname "$0")/.."
phase=${1:-all}

if [ "$phase" != run ]; then
    echo "== Release build"
    # The benchmarks too, so that they keep building (they are run by hand, optimised).
    ./scripts/build-release.sh cli_bench ethernet_bench serial_bench serialdownload_bench ser2net_download_bench results_log_bench
fi
[ "$phase" = build ] && exit 0

echo "== Debian packages"

build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' build/CMakeCache.txt)
if [ "$build_type" != RelWithDebInfo ]; then
    echo "build/ is a '$build_type' build; ./run.sh must run an optimised (RelWithDebInfo) one" >&2
    exit 1
fi

rm -f build/*.deb
(cd build && cpack -G DEB > cpack.log) || { cat build/cpack.log >&2; exit 1; }

failed=0
# Checks that package $1 lists each of the remaining paths.
expect_contents() {
    local deb=$1
    shift
    local listing
    listing=$(dpkg-deb -c "$deb")
    for path in "$@"; do
        if ! grep -q " \./${path#/}\$" <<< "$listing"; then
            echo "$(basename "$deb") lacks $path" >&2
            failed=1
        fi
    done
}

vennix_deb=$(ls build/vennix_*.deb)
sim_deb=$(ls build/vennix-terminal-sim_*.deb)
expect_contents "$vennix_deb" /usr/bin/vennix /usr/bin/vennix-cli /usr/share/applications/vennix.desktop \
    /usr/share/icons/hicolor/scalable/apps/vennix.svg
expect_contents "$sim_deb" /usr/bin/vennix-terminal-sim /usr/share/vennix/demo/demo-firmware.bin \
    /usr/share/vennix/demo/demo-application.bff

depends=$(dpkg-deb -f "$vennix_deb" Depends)
for library in libqt6widgets6 libc6 qt6-qpa-plugins; do
    if ! grep -q "$library" <<< "$depends"; then
        echo "$(basename "$vennix_deb") does not depend on $library (Depends: $depends)" >&2
        failed=1
    fi
done

[ "$failed" -eq 0 ] || exit 1
ls -s --block-size=K build/*.deb
