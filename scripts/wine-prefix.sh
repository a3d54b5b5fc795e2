# Sourced by the scripts that run Windows programs under wine.
# wine_prefix_start DIR: a private prefix in DIR, made when missing, with no
# display, no debugging chatter and no Mono or Gecko installers, and one wine
# server for the caller's whole run, started first: the registry's list of
# serial devices is volatile and lives only as long as the server. A server
# left by an earlier run in that prefix goes first. Prints how long making
# the prefix took, when it had to be made.
wine_prefix_start() {
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY
    mkdir -p "$WINEPREFIX"
    wineserver -k 2> /dev/null || true
    wineserver -p > "$WINEPREFIX/wineserver.log" 2>&1
    if [ ! -f "$WINEPREFIX/.update-timestamp" ]; then
        local boot_start=$SECONDS
        wineboot -i > /dev/null 2>&1
        echo "wine prefix $WINEPREFIX made in $((SECONDS - boot_start))s"
    fi
}

# wine_prefix_stop: ends the server that wine_prefix_start started.
wine_prefix_stop() {
    wineserver -k 2> /dev/null || true
}

# wine_run_begin DIR: wine_prefix_start DIR, a scratch folder in $work, and
# an exit trap that ends the programs whose ids the caller adds to pids, stops
# the wine server and removes $work.
wine_run_begin() {
    wine_prefix_start "$1"
    work=$(mktemp -d)
    pids=()
    trap wine_run_end EXIT
}

wine_run_end() {
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    wine_prefix_stop
    rm -rf "$work"
}

# wine_map_com N DEVICE: COM<N> in the prefix opens DEVICE, and the registry's
# list of serial devices names it, so that a program's port list shows it.
wine_map_com() {
    ln -sfn "$2" "$WINEPREFIX/dosdevices/com$1"
    wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "VennixSimulator$1" /t REG_SZ /d "COM$1" /f \
        > /dev/null 2>&1
}

# wine_desktop_start: a virtual screen (Xvfb) and one wine desktop on it for
# the rest of the run, for programs with windows. Their windows live inside the
# wine desktop instead of being X windows of their own, so nothing waits for a
# window manager that is not there; and the desktop is started once, since its
# first start costs seconds. The desktop has a name of this run's own: a
# program run earlier without a display (the command-line tests, or anything
# while an earlier run's name was set) has made the desktop it named without a
# screen, and windows on that one never appear. Needs wine_run_begin first.
wine_desktop_start() {
    local display_file=$work/xvfb-display
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$display_file" 2> "$work/xvfb.log" &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
    [ -s "$display_file" ] || { cat "$work/xvfb.log"; return 1; }
    export DISPLAY=:$(cat "$display_file")
    local desktop=Screen-${work##*.}
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d "$desktop" /f > /dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v "$desktop" /d 1024x768 /f > /dev/null 2>&1
    wine explorer /desktop="$desktop",1024x768 > /dev/null 2>&1 &
    pids+=($!)
}
