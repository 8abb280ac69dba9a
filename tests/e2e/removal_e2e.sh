#!/bin/bash
# Printer listing and removal by Spoolsweep.exe under Wine, each case on a fresh prefix prepared as a small
# office:  removal_e2e.sh WINE_RUN SPOOLSWEEP_EXE FIXTURE_EXE CASE
# Wine cannot delete drivers with the delete flag set, queue jobs or show connections; those stay host tests.
set -u
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$2")
case_name=$4
. "$here/office_prefix.sh" "$1" "$3"
mkdir -p "$work/cwd"
cd "$work/cwd" || exit 1

spoolsweep() {
    "$wine_run" "$exe" "$@" >"$work/stdout" 2>"$work/stderr" ||
        fail "exit status $? for $*; stdout: $(head -c 300 "$work/stdout"); stderr: $(head -c 300 "$work/stderr")"
}

expect_eq() {  # what, expected, actual
    [ "$2" == "$3" ] || fail "$1: expected [$2], got [$3]"
}

log_messages() {
    LC_ALL=C sed -E 's/^ [0-9]{4}-[0-9]{2}-[0-9]{2}\.[0-9]{2}:[0-9]{2}:[0-9]{2}\t Tamber Spoolsweep Command Line  ------> \t//' \
        "$work/cwd/Spoolsweep_CL.log" | tr -d '\r' | sed '/^$/d'
}

updater='C:\Program Files (x86)\Vantle\Tamber Driver Updater.exe'

# Whether an HKLM\Software key exists in the view the exe under test reads (Wow6432Node for the 32-bit exe).
software_key_exists() {
    if [ "${SPOOLSWEEP_WINE_ARCH:-x64}" = x86 ]; then
        "$wine_run" 'C:\windows\syswow64\reg.exe' query "HKLM\\$1" >/dev/null 2>&1 && echo 1 || echo 0
    else
        fixture regexists HKLM "$1"
    fi
}

# Lines as one sorted line, each ended by "|" (the printers as the checks compare them).
sorted_line() {
    sort | tr '\n' '|'
}

"$here/../../tools/wine-fixture/prepare-office" "$wine_run" "$fixture" || fail "office prepared"
expect_eq "printers prepared" "Plain Laser|Tamber Office|Tamber Studio|" "$(fixture printers | sorted_line)"

case "$case_name" in
    list)
        spoolsweep -getInstalledPrinters
        # One line per printer, in the spooler's order, each name behind a blank.
        expect_eq "listing" " Plain Laser| Tamber Office| Tamber Studio|" \
            "$(tr -d '\r' <"$work/stdout" | LC_ALL=C sort | tr '\n' '|')"
        expect_eq "line ends" "3" "$(grep -c $'\r$' "$work/stdout")"
        expect_eq "log" $'GetInstalled Printers\nCommand Line Arguments Passed so No UI is launched.' "$(log_messages)"
        ;;
    remove-one)
        expect_eq "monitor settings prepared" "1" "$(software_key_exists 'Software\Norvel\Trackwell\printers\Plain Laser')"
        spoolsweep -p "Plain Laser"
        expect_eq "console" "1" "$(cat "$work/stdout")"
        ask_fixture printers -- regexists HKCU 'Printers\Settings\Printers\Plain Laser' \
            -- regexists HKCU 'Printers\Settings\Printers\Tamber Office' -- exists "$updater" -- processes
        expect_eq "printers left" "Tamber Office|Tamber Studio|" "$(answer 1 | sorted_line)"
        expect_eq "per-user settings" "0" "$(answer 2)"
        expect_eq "monitor settings" "0" "$(software_key_exists 'Software\Norvel\Trackwell\printers\Plain Laser')"
        expect_eq "other settings kept" "1" "$(answer 3)"
        expect_eq "updater kept" "1" "$(answer 4)"
        expect_eq "companion still running" "1" "$(answer 5 | grep -c '^NorvelAB12.srv$')"
        log_messages | grep -qx 'Deletion of the Selected Printer was successful.' || fail "log: no success line"
        ;;
    remove-norvel)
        spoolsweep -rmNorvelPrints
        expect_eq "console" "11" "$(cat "$work/stdout")"
        ask_fixture printers -- processes -- exists 'C:\Program Files (x86)\Vantle'
        expect_eq "printers left" "Plain Laser|" "$(answer 1 | sorted_line)"
        expect_eq "companion ended" "0" "$(answer 2 | grep -c '^NorvelAB12.srv$')"
        expect_eq "updater removed" "0" "$(answer 3)"
        log_messages | grep -qx 'PC File Name NorvelAB12 SRV Process Found.' || fail "log: companion not found"
        ;;
    keep-updater)
        spoolsweep -p "Tamber Office"
        expect_eq "console" "1" "$(cat "$work/stdout")"
        ask_fixture printers -- exists "$updater" -- exists 'C:\Program Files (x86)\Vantle_temp'
        expect_eq "printers left" "Plain Laser|Tamber Studio|" "$(answer 1 | sorted_line)"
        expect_eq "updater kept" "1" "$(answer 2)"
        expect_eq "no backup left" "0" "$(answer 3)"
        ;;
    remove-all)
        spoolsweep -rmPrints
        expect_eq "console" "Success" "$(cat "$work/stdout")"
        ask_fixture printers -- exists 'C:\Program Files (x86)\Vantle'
        expect_eq "printers left" "" "$(answer 1 | sorted_line)"
        expect_eq "updater removed" "0" "$(answer 2)"
        expect_eq "driver steps" "3" "$(log_messages | grep -c '^Deleting Driver in progress$')"
        ;;
    *)
        echo "unknown case $case_name"
        exit 2
        ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "--- console"; cat "$work/stdout"; echo; echo "--- log"; log_messages
    echo "$case_name: $failures check(s) failed"
    exit 1
fi
echo "$case_name: passed"
