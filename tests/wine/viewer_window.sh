#!/usr/bin/env bash
# Tarvoke.exe under wine64 on a virtual X server, driven by X keyboard input as a user would: the main window
# shows with its title, the Options menu's mnemonics open About (Enter closes it), the LANA selection and from
# it the configuration of LANA 0 (Cancel closes it), and Exit, answered No (the viewer keeps running) and
# then Yes (the viewer ends with 0).
#   viewer_window.sh WINDOWS_BUILD_DIR
# The viewer and the whole wine session run in a network namespace of their own whose one LANA is a veth
# pair made there, so that nothing the viewer's NetBIOS sends leaves it (root only). Every wait is for an
# X window to appear (xdotool search --sync) or to be destroyed (its DestroyNotify), or for the process.
set -u
windows=$1
case "${2:-}" in
"")
    [ "$(id -u)" -eq 0 ] || { echo "SKIP: the viewer runs in a network namespace of its own, which needs root"; exit 77; }
    for tool in xvfb-run xdotool xwininfo xev xprop unshare ip; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/install-deps wine)"; exit 77; }
    done
    exec unshare -n bash "$0" "$windows" --in-namespace
    ;;
--in-namespace)
    ip link set lo up && ip link add wine0 type veth peer name wine1 &&
        ip addr add 10.213.11.1/24 broadcast 10.213.11.255 dev wine0 &&
        ip link set wine1 up && ip link set wine0 up || { echo "FAIL: cannot make the veth pair"; exit 1; }
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$windows" --on-display
    ;;
esac

source "$(dirname "$0")/wine-env.sh"
need_windows_build "$windows" viewer/Tarvoke.exe
main_title="TarVoke - NetBios Statistics"

fail() {
    echo "FAIL: $*"
    xwininfo -root -tree | grep '"' | grep -v 'has no name'
    cat "$work/tarvoke.log"
    exit 1
}
# appears TITLE: sets window to the X window titled exactly TITLE, once it exists.
appears() {
    window=$(timeout 60 xdotool search --sync --name "^$1\$" | head -1)
    [ -n "$window" ] || fail "no window titled \"$1\""
}
# watch WINDOW: watches the window's structure and returns once the watch is in place: xev gives no sign
# when it listens, so a property of the test is set on the window until xev reports the change. ends WHAT
# then waits until the window is hidden or destroyed.
watch() {
    local attempt
    watched=$1
    coproc WATCH { exec xev -id "$watched" -event structure -event property 2>&1; }
    for attempt in $(seq 60); do
        xprop -id "$watched" -f TEST_WATCH 8s -set TEST_WATCH "$attempt"
        timeout 1 grep -m1 -q PropertyNotify <&"${WATCH[0]}" && return 0
    done
    fail "cannot watch window $watched"
}
ends() {
    timeout 60 grep -m1 -qE "UnmapNotify|DestroyNotify" <&"${WATCH[0]}"
    local status=$?
    kill "$WATCH_PID" 2>/dev/null
    wait "$WATCH_PID" 2>/dev/null
    [ "$status" -eq 0 ] || fail "$1 is still there"
    echo "ok    $1 closed"
}

make_prefix
"$wine" "$windows/viewer/Tarvoke.exe" >"$work/tarvoke.log" 2>&1 &
viewer=$!
appears "$main_title"
main=$window
# Without a window manager the keyboard goes where the X focus is.
xdotool windowfocus --sync "$main"
xwininfo -id "$main" | grep -q 'Map State: IsViewable' || fail "the main window is not shown"
[ "$(xprop -id "$main" _NET_WM_NAME)" == "_NET_WM_NAME(UTF8_STRING) = \"$main_title\"" ] ||
    fail "the main window's title: $(xprop -id "$main" _NET_WM_NAME)"
echo "ok    main window \"$main_title\": $(xwininfo -id "$main" | sed -n 's/^ *\(Width\|Height\): */\1 /p' | tr '\n' ' ')"

xdotool key alt+o a
appears About
watch "$window"
xdotool key Return
ends About

xdotool key alt+o c
appears "LANA to Configure"
lanas=$window
xdotool key Tab space # from the number to OK
appears "LANA 00"
# The selection stays open, disabled, under the configuration and closes once it has closed.
watch "$lanas"
xdotool key Tab Tab Tab Tab Tab Tab Tab Tab space # from the name past the boxes and OK to Cancel
ends "the configuration of LANA 00, then LANA to Configure,"

xdotool key alt+o x
appears Exit
watch "$window"
xdotool key Return # No is the default button
ends "Exit, answered No,"
kill -0 "$viewer" 2>/dev/null || fail "the viewer ended after No"
xdotool key alt+o x
appears Exit
xdotool key y
wait "$viewer"
status=$?
[ "$status" -eq 0 ] || fail "the viewer ended with $status after Yes"
echo "ok    Exit, answered Yes: the viewer ended with 0"
