#!/usr/bin/env bash
# The viewer's NetBIOS commands and report sections ask Samba's nmbd in a private test network for its adapter
# status, once through the platform's NetBIOS over TCP/IP and once, built for Windows, through Wine's: the
# name-table sections of the two reports are the same (by name; see below for a question by address).
#   peer_report.sh IN_PEER_NETWORK ADAPTER_STATUS_REPORT WINDOWS_BUILD_DIR
# Needs root for the network's namespaces; the test runs inside the local one (in_peer_network), where the
# veth's end is the only interface: LANA 0 of the platform by the testbed's prefix, and of Wine as its
# only non-loopback IPv4 interface.
set -u
in_peer_network=$1 report=$2 windows=$3
if [ -z "${PEER_ADDRESS:-}" ]; then
    # Wine and the Windows build first: without them there is no need for the network.
    (
        source "$(dirname "$0")/wine-env.sh"
        need_windows_build "$windows" tests/wine/adapter_status_report.exe
    ) || exit
    exec "$in_peer_network" bash "$0" "$@"
fi
source "$(dirname "$0")/wine-env.sh"
need_windows_build "$windows" tests/wine/adapter_status_report.exe

# The section's entries, one line each: name, type, group or unique, state. Two differences of Wine's are
# known and left out, with a note each time they still show:
#  - Wine leaves every entry's name number 0; the platform numbers the entries from 1 in the node's order.
#  - Wine reports every group name as still registering (a state of 0), whatever the node said of it.
entries() {  # REPORT NOTE_PREFIX
    awk -v note="$2" '
        /^Name Table Information/ { on = 1 }
        /^Capacity Information/ { on = 0 }
        !on { next }
        { sub(/ +$/, "") }
        /^Name Table Entry Count/ { print "count " $NF; next }
        /^Name Table Entry number/ { if (entry != "") print entry; entry = ""; next }
        /^Name Number/ { if (note != "" && $NF + 0 == 0) zero++; next }
        /^Name / { sub(/^Name +/, ""); entry = $0; next }
        /Group Name/ { group = 1 }
        /Unique Name/ { group = 0 }
        /Registration in Progress/ && group && note != "" { registering++; entry = entry " | -"; next }
        /Registered/ && group { entry = entry " | -"; next }
        /^  / { sub(/^ +/, ""); gsub(/ +/, " "); entry = entry " | " $0 }
        END {
            if (entry != "") print entry
            if (zero) print note "every name number is 0 (" zero " names)" > "/dev/stderr"
            if (registering) print note registering " group name(s) reported as registering" > "/dev/stderr"
        }' "$1"
}

report_of() {  # NODE OUTPUT: the platform's report
    "$report" "$1" 2>&1 | tr -d '\r' >"$2" || {
        cat "$2"
        echo "FAIL: the platform's report of $1"
        exit 1
    }
}

# The peer's table grows while it runs (it becomes its workgroup's browser master), so Wine's report is
# compared with the platform's from just before it and just after it.
make_prefix
report_of "$PEER_NAME" "$work/before.txt"
wine_run "$windows/tests/wine/adapter_status_report.exe" "$PEER_NAME" >"$work/wine.txt" || {
    cat "$work/wine.txt"
    echo "FAIL: Wine's report of $PEER_NAME"
    exit 1
}
report_of "$PEER_NAME" "$work/after.txt"
echo "the platform's report of $PEER_NAME:"
sed -n '/^Name Table Information/,/^Capacity Information/p' "$work/after.txt"
entries "$work/wine.txt" "wine  " >"$work/wine.names"
grep -q "^$PEER_NAME |" "$work/wine.names" || {
    cat "$work/wine.txt"
    echo "FAIL: the peer's own name is missing from Wine's report"
    exit 1
}
if entries "$work/before.txt" "" | cmp -s - "$work/wine.names"; then
    echo "same name-table section as the platform's just before"
elif entries "$work/after.txt" "" | cmp -s - "$work/wine.names"; then
    echo "same name-table section as the platform's just after"
else
    diff -u --label platform <(entries "$work/after.txt" "") --label wine "$work/wine.names"
    echo "FAIL: the name-table sections differ"
    exit 1
fi

# Asked by address, Wine sends the node status question for the address as a name instead of for "*"; the
# peer does not answer such a question, and Wine reports success with no names.
WINEDEBUG=trace+netbios wine_run "$windows/tests/wine/adapter_status_report.exe" "$PEER_ADDRESS" \
    >"$work/wine-by-address.txt"
report_of "$PEER_ADDRESS" "$work/by-address.txt"
if grep -q '^Name Table Entry Count *00000' "$work/wine-by-address.txt"; then
    echo "wine  asked by address ($PEER_ADDRESS), Wine reports an empty name table;" \
        "the platform lists $(entries "$work/by-address.txt" "" | grep -vc ^count) names"
    grep -m1 'NetBTSendNameQuery' "$work/wine-by-address.txt" | sed 's/^[0-9a-f]*:/wine  /'
elif ! entries "$work/by-address.txt" "" | cmp -s - <(entries "$work/wine-by-address.txt" "wine  "); then
    diff -u --label platform <(entries "$work/by-address.txt" "") --label wine \
        <(entries "$work/wine-by-address.txt" "")
    echo "FAIL: asked by address, the name-table sections differ"
    exit 1
fi
exit 0
