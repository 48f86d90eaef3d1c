#!/usr/bin/env bash
# vessamir under Wine's service manager beside vessamir under servicectl, on a machine without floppy
# drives, each answered by pipecall built for its side: the replies to Q, L, U and a bad operation, the
# replies' order, and what a start by hand leaves behind are the same.
#   service.sh VESSAMIR SERVICECTL PIPECALL WINDOWS_BUILD_DIR
# Where Wine lacks what the program uses, the test shows it and checks that it is still so:
#  - a service under Wine has no standard output, so the service's freopen of it onto c:\vessamir.out fails
#    and the log file is never made (started by hand, with an output, the same program makes it);
#  - RegisterEventSourceA and ReportEventA are stubs: the event is not kept, and Wine only prints its
#    strings, which are compared with the event the platform keeps.
set -u
vessamir=$1 servicectl=$2 pipecall=$3 windows=$4
source "$(dirname "$0")/wine-env.sh"
need_windows_build "$windows" service/vessamir.exe pipecall.exe

groups_of_user=" $(id -G) "
[[ $groups_of_user == *" 0 "* || $groups_of_user == *" $(getent group nogroup | cut -d: -f3) "* ]] ||
    skip "the service's pipe admits only the groups root and nogroup, and this user is in neither"

requests=(Q L Q U Q X)
pipe='\\.\pipe\sd_flppy'
failed=0
compare() {  # what, ours, wine's
    if [ "$2" == "$3" ]; then
        echo "same  $1"
    else
        echo "DIFF  $1"
        diff <(echo "$2") <(echo "$3") | sed 's/^/      /'
        failed=1
    fi
}

# The platform: a prefix of the test's own whose drives A: and B: point nowhere, events kept in a file.
export PLATFORM_PREFIX=$work/platform
mkdir -p "$PLATFORM_PREFIX"
printf '[eventlog]\ntarget = file:events.log\n' >"$PLATFORM_PREFIX/platform.conf"
"$servicectl" create Varnholtguard "$vessamir" >"$work/servicectl.log" 2>&1 || {
    cat "$work/servicectl.log"
    exit 1
}
ln -sfn "$work/no-floppy-a" "$PLATFORM_PREFIX/dosdevices/a:"
ln -sfn "$work/no-floppy-b" "$PLATFORM_PREFIX/dosdevices/b:"
"$servicectl" start Varnholtguard >>"$work/servicectl.log" 2>&1 || {
    cat "$work/servicectl.log"
    exit 1
}
ours=$(for r in "${requests[@]}"; do "$pipecall" "$pipe" "$r" 2>&1; done)
"$servicectl" stop Varnholtguard >>"$work/servicectl.log" 2>&1
our_log=$(cat "$PLATFORM_PREFIX/drive_c/vessamir.out" 2>&1)
"$vessamir" >/dev/null 2>&1
our_event=$(cut -f2- "$PLATFORM_PREFIX/events.log" | tr '\t' '\n' | tail -2)
our_log_by_hand=$(cat "$PLATFORM_PREFIX/drive_c/vessamir.out" 2>&1)

# Wine: its own service manager; the C run-time's trace shows what becomes of the log file.
session_debug=-all,trace+msvcrt make_prefix
service_exe=$(wine_run winepath -w "$windows/service/vessamir.exe")
wine_run sc create Varnholtguard binpath= "$service_exe" >"$work/sc.log" || {
    cat "$work/sc.log"
    exit 1
}
wine_run net start Varnholtguard >>"$work/sc.log" || {
    cat "$work/sc.log"
    exit 1
}
wines=$(for r in "${requests[@]}"; do wine_run "$windows/pipecall.exe" "$pipe" "$r"; done)
wine_run sc stop Varnholtguard >>"$work/sc.log"

compare "replies to ${requests[*]}" "$ours" "$wines"
# Both sides have no drive A: or B:, which the program takes as locked and unlocked alike, and logs.
absent=$'Floppy status is: Locked\nFloppies were locked\nFloppy status is: Locked\nFloppies were unlocked
Floppy status is: Unlocked\nBad operation passed in'
compare "replies to ${requests[*]} as the program gives them for absent drives" "$absent" "$ours"
compare "the platform's log: every write to an absent drive logged" "$(grep . <<<"$our_log" | sort -u)" \
    $'Attempted to lock \\\\.\\A:, but it was not found\nAttempted to lock \\\\.\\B:, but it was not found'

log=$WINEPREFIX/drive_c/vessamir.out
if [ -e "$log" ]; then
    compare "the service's log file" "$our_log" "$(cat "$log")"
else
    echo "wine  the service made no log file (ours holds $(grep -c . <<<"$our_log") lines):" \
        "a service under Wine has no standard output to reopen"
    grep '_wfreopen.*vessamir.out' "$work/session.log" | sed 's/^[0-9a-f]*:/wine  /'
fi

# By hand the dispatcher is refused (1063) and the program reports that as an event before it ends.
by_hand=$(WINEDEBUG=fixme+advapi,err+eventlog wine_run "$windows/service/vessamir.exe")
echo "$by_hand" | grep -E 'RegisterEventSourceA|ReportEventA' | sed 's/^[0-9a-f]*:/wine  /'
grep -q 'fixme:advapi:RegisterEventSourceA.*stub' <<<"$by_hand" ||
    echo "wine  RegisterEventSourceA is no longer a stub: compare the event log itself"
wine_event=$(sed -n 's/^[0-9a-f]*:err:eventlog:ReportEventW L"\(.*\)"$/\1/p' <<<"$by_hand")
compare "the event of a start by hand" "$our_event" "$wine_event"
if [ -e "$log" ]; then
    compare "the log file after a start by hand" "$our_log_by_hand" "$(cat "$log")"
else
    echo "DIFF  started by hand, with a standard output, the program made no log file under Wine either"
    failed=1
fi
exit $failed
