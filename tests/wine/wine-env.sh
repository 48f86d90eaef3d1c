# Sourced by the wine tests: finds wine64 and the Windows build, makes a private wine prefix in a private
# folder, and removes both when the test ends. A test that cannot run says why and exits 77, which ctest
# reports as a skip.

skip() {
    echo "SKIP: $*"
    exit 77
}

# Debian installs the wine64 loader and the server outside PATH.
find_tool() {
    local candidate
    for candidate in "$@"; do
        if command -v "$candidate" >/dev/null 2>&1; then
            command -v "$candidate"
            return 0
        fi
    done
    return 1
}
wine=$(find_tool wine64 /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64) ||
    skip "wine64 is not installed (scripts/install-deps wine)"
wineserver=$(find_tool wineserver /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver) ||
    skip "the wine server is not installed (scripts/install-deps wine)"

# need_windows_build DIR FILE...: the files of the Windows build that this test runs.
need_windows_build() {
    local dir=$1 file
    shift
    for file in "$@"; do
        [ -f "$dir/$file" ] ||
            skip "no $file in the Windows build $dir (cmake --preset mingw-x86_64-programs && cmake --build --preset mingw-x86_64-programs)"
    done
}

work=$(mktemp -d /tmp/wine-test-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    # The server outlives its last client for a while; end it now, with every process of this prefix.
    [ -d "$WINEPREFIX" ] && "$wineserver" -k >/dev/null 2>&1
    "$wineserver" -w >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

# Creates the prefix and starts the server for the test: it stays up between the commands, and with it the
# service manager and the services it started. The start waits until the server that made the prefix has
# ended with everything it ran for it; until then the service manager is busy with the prefix's own
# services and refuses others as locked. The system processes of the new session, and the services they
# start, write to session.log, with the debug channels in session_debug when it is set.
make_prefix() {
    "$wine" wineboot --init >"$work/wineboot.log" 2>&1 || {
        cat "$work/wineboot.log"
        echo "FAIL: wineboot could not make the prefix"
        exit 1
    }
    "$wineserver" -w
    "$wineserver" -p
    WINEDEBUG=${session_debug:-$WINEDEBUG} "$wine" wineboot >"$work/session.log" 2>&1 </dev/null
}

# Runs a Windows program and prints its output without the CR of Wine's CR LF line ends. The output goes
# through a file: a pipe would stay open as long as any process that the command started for the server
# (the service manager, device hosts) lives on, and a reader of it would wait for them.
wine_run() {
    local status
    "$wine" "$@" >"$work/wine_run.out" 2>&1 </dev/null
    status=$?
    tr -d '\r' <"$work/wine_run.out"
    return $status
}
