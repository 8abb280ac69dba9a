#!/bin/bash
# The preview against the removal it predicts, under Wine, on a fresh prefix prepared as a small office with
# per-printer and per-driver residue, Temp files, presets and the updater folder:
#   preview_e2e.sh WINE_RUN SPOOLSWEEP_EXE PREVIEW_EXE FIXTURE_EXE CASE
# SpoolsweepPreview.exe previews the removal and saves its snapshot, Spoolsweep.exe makes it, a second snapshot
# is taken, and what changed between the two snapshots must be what the preview listed, apart from what Wine
# itself refuses to do (named below). The printers left are also read with the fixture, apart from the
# snapshots.
set -u
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$2")
preview=$(realpath "$3")
case_name=$5
. "$here/office_prefix.sh" "$1" "$4"
# The working folder lies on drive C:, so the command log is part of the snapshots.
cwd="$("$wine_run" --prefix)/drive_c/work"
mkdir -p "$cwd"
cd "$cwd" || exit 1

"$here/../../tools/wine-fixture/prepare-office" "$wine_run" "$fixture" || fail "office prepared"
# The Tamber driver's residue: device modes, job properties, the watermark key, its Temp files in both Temp
# folders (and files the patterns must leave), presets; a per-printer value besides the office's keys.
temp="" appdata=""
{ read -r temp && read -r appdata; } < <("$wine_run" cmd.exe /c 'echo %TEMP%& echo %APPDATA%' | tr -d '\r')
residue=(regset HKCU 'Printers\DMTDevMode\Tamber Office' Mode 1
    -- regset HKCU 'Software\Norvel\Job Properties\Driver\NorvelAB12' Copies 1
    -- regset HKLM 'SYSTEM\CurrentControlSet\Control\Print\Watermark' Text Draft
    -- regset HKCU 'Printers\Settings' 'Tamber Studio' 1)
for file in "$temp\\NorvelAB12.wmk" "$temp\\NorvelAB12.tmp" "$temp\\,,NorvelAB12.tmp" "$temp\\other.tmp" \
    'C:\windows\temp\NorvelAB12.tmp' 'C:\windows\temp\GENLASER.wmk' \
    "$appdata\\Norvel\\JPData\\DMT_NorvelAB12.PPD\\EssentialPresets\\preferences"; do
    residue+=(-- file "$file" residue)
done
# In one run of the fixture, which stops at the first command that fails and names its Win32 error.
"$wine_run" "$fixture" "${residue[@]}" >/dev/null || fail "residue written"

case "$case_name" in
    p) options=(-p "Plain Laser,Tamber Studio") ;;
    norvel) options=(-rmNorvelPrints) ;;
    all | undo) options=(-rmPrints) ;;
    *) echo "unknown case $case_name"; exit 2 ;;
esac

printers_before=$(fixture printers | sort)
# The spooler's drivers of both environments and its printers with their settings, in one run of the fixture;
# drivers_listed then prints the drivers as "ENVIRONMENT|NAME", sorted, and `answer 3` the printers.
ask_spooler() {
    ask_fixture drivers "Windows x64" -- drivers "Windows NT x86" -- printers full
}
drivers_listed() {
    { answer 1 | sed 's/^/Windows x64|/'; answer 2 | sed 's/^/Windows NT x86|/'; } | sort
}
# One undo round: the backup and the real run in one step (--run starts Spoolsweep.exe, beside the preview,
# once the backup reads back whole), then the restore; what the snapshots before the backup and after the
# restore still differ in is only what the backup does not keep (the spooler's keys and values of its
# objects) and what Wine refuses, named below.
#   undo_round NAME PRINTERS OPTION...   (PRINTERS: how many the option deletes, "all" for every one)
undo_round() {
    local round=$1 deleted=$2 out="$work/$1"
    shift 2
    local drivers_before printers_before
    ask_spooler
    drivers_before=$(drivers_listed)
    printers_before=$(answer 3 | sort)
    [ "$deleted" = all ] && deleted=$(grep -c . <<<"$printers_before")
    "$wine_run" "$preview" --save "before-$round.json" --backup "C:\\work\\backup-$round" --run "$@" \
        >"$out-backup.txt" 2>"$work/stderr" || fail "$round: backup and run exit status $?: $(head -c 300 "$work/stderr")"
    tr -d '\r' <"$out-backup.txt" | grep -qE '^the backup reads back whole; running .*\\Spoolsweep\.exe$' ||
        fail "$round: no line saying the backup was read back before the run"
    tr -d '\r' <"$out-backup.txt" | grep -qx 'Spoolsweep.exe ended with exit code 0' ||
        fail "$round: no line giving Spoolsweep.exe's exit code 0"
    tr -d '\r' <"$out-backup.txt" | grep -qE "^backup in C:.work.backup-$round: [1-9][0-9]* registry keys, .*, [0-9]+ drivers, $deleted printers \([0-9]+ printer data values\), 0 connections\$" ||
        fail "$round: not the $deleted printers backed up, or no residue: $(grep '^backup in' "$out-backup.txt")"
    # Wine's gap: DeletePrinterDriverExW with the delete flag fails with 87 and removes nothing. Each driver
    # the preview lists as deleted is deleted here without the flag (its files stay), as Windows' removal
    # deletes it, so that the restore has it to put back.
    local entry deletions=()
    while IFS= read -r entry; do
        deletions+=(-- deldriver "${entry#*, }" "${entry%%, *}")
    done < <(tr -d '\r' <"$out-backup.txt" |
        awk '/^drivers deleted/ { on = 1; next } /^[^ ]/ { on = 0 } on { print substr($0, 3) }')
    if [ ${#deletions[@]} -gt 0 ]; then
        "$wine_run" "$fixture" "${deletions[@]:1}" >/dev/null ||
            fail "$round: not every driver deleted: ${deletions[*]:1}"
    fi
    "$wine_run" "$preview" --restore "C:\\work\\backup-$round" >"$out-restore.txt" 2>"$work/stderr" ||
        fail "$round: restore exit status $?: $(head -c 300 "$work/stderr")"
    "$wine_run" "$preview" --save "after-$round.json" || fail "$round: second snapshot"
    "$wine_run" "$preview" --compare "before-$round.json" "after-$round.json" >"$out-measured.txt" ||
        fail "$round: comparison"
    # Wine's gap for the 32-bit exe: its spooler runs inside the 32-bit process and looks for a printer's
    # driver in "Windows NT x86" only, so AddPrinterW of the printer whose driver is 64-bit alone fails with
    # 1797 (on 64-bit Windows the spooler service is 64-bit and finds it); the restore names it, and it stays
    # gone. Everything else is back, the drivers of both environments kept through WoW64's redirected system32.
    local gone='^$'
    if [ "${SPOOLSWEEP_WINE_ARCH:-x64}" = x86 ] && grep -q '^Plain Laser|' <<<"$printers_before" &&
        tr -d '\r' <"$out-backup.txt" | awk '/^printers deleted/ { on = 1; next } /^[^ ]/ { on = 0 } on' |
        grep -qx '  Plain Laser'; then
        gone='^Plain Laser'
        tr -d '\r' <"$out-restore.txt" | grep -qxF 'not put back: printer Plain Laser (its driver Generic Laser Driver does not exist on this machine (error 1797))' ||
            fail "$round: the printer Wine's 32-bit spooler cannot add is not named with error 1797"
    fi
    local left
    left=$(tr -d '\r' <"$out-measured.txt" | awk -v gone="$gone" '
        /^[^ ]/ { group = $0; sub(/( \([0-9]+\))?:.*$/, "", group); next }
        /^  / && group ~ /^(printers|drivers|registry keys|registry values|files|folders) deleted$/ &&
            !(group == "printers deleted" && substr($0, 3) ~ gone) &&
            $0 !~ /\\Control\\Print\\((Printers|Environments)\\|Forms ")/ { print group ": " substr($0, 3) }')
    [ -z "$left" ] || fail "$round: not put back: $left"
    grep -q '^put back: ' "$out-restore.txt" || fail "$round: the restore put nothing back"
    # Every driver is listed again, in both environments; the annex's data is back in the spooler's key of
    # the printer, and each printer is listed again with its port, driver, comment and location.
    local drivers_after printers_after annex_data
    ask_spooler
    drivers_after=$(drivers_listed)
    [ "$drivers_after" == "$drivers_before" ] ||
        fail "$round: drivers not put back: before $(echo $drivers_before), after $(echo $drivers_after)"
    annex_data=$(tr -d '\r' <"$out-measured.txt" | grep -F 'Tamber Annex\PrinterDriverData')
    [ -z "$annex_data" ] || fail "$round: printer data not put back as it was: $annex_data"
    printers_after=$(answer 3 | sort)
    [ "$printers_after" == "$(grep -v "$gone|" <<<"$printers_before")" ] ||
        fail "$round: printers not put back as they were: before $(echo $printers_before), after $(echo $printers_after)"
    if [ "$failures" -ne 0 ]; then
        echo "--- $round: backup"; cat "$out-backup.txt"; echo "--- restore"; cat "$out-restore.txt"
        echo "--- measured"; cat "$out-measured.txt"; exit 1
    fi
    echo "undo $round: passed ($(grep -c '^put back: ' "$out-restore.txt") entries put back)"
}

if [ "$case_name" == undo ]; then
    # A queue with a comment and a location joins the office's, so that the printers' settings are seen back,
    # and a 32-bit twin of the Tamber driver, so that drivers of both environments go and come back. Each of
    # the three options is undone in turn on the same office.
    ask_fixture printer "Tamber Annex" "Tamber PS Driver" "" "Floor 2" "Room 201" \
        -- driver "Tamber PS Driver" NorvelAB12.PPD "Windows NT x86" \
        -- regset HKLM 'SYSTEM\CurrentControlSet\Control\Print\Printers\Tamber Annex\PrinterDriverData' Duplex Long \
        -- printers full
    answer 4 | grep -q '^Tamber Annex|LPT1:|Tamber PS Driver|Floor 2|Room 201' ||
        fail "the annex printer was not added as asked"
    undo_round p 2 -p "Plain Laser,Tamber Studio"
    undo_round norvel 3 -rmNorvelPrints
    undo_round all all -rmPrints
    exit 0
fi
"$wine_run" "$preview" --save before.json "${options[@]}" >"$work/preview.txt" 2>"$work/stderr" ||
    fail "preview exit status $?: $(head -c 300 "$work/stderr")"
"$wine_run" "$exe" "${options[@]}" >"$work/stdout" 2>"$work/stderr" ||
    fail "Spoolsweep.exe exit status $?; stdout: $(head -c 300 "$work/stdout"); stderr: $(head -c 300 "$work/stderr")"
"$wine_run" "$preview" --save after.json || fail "second snapshot"
"$wine_run" "$preview" --compare before.json after.json >"$work/measured.txt" || fail "comparison"

# "group|line" for each listed change of the machine's state; the report's groups that no snapshot can show
# (pending printers, driver packages, services) and its console and log stay out.
changes() {
    tr -d '\r' <"$1" | awk '
        /^updater folder:/ { exit }
        /^[^ ]/ { group = $0; sub(/( \([0-9]+\))?:.*$/, "", group); next }
        /^  / && group != "printers pending deletion" && group != "driver packages deleted" && group != "services" {
            print group "|" substr($0, 3)
        }' | LC_ALL=C sort
}
changes "$work/preview.txt" >"$work/predicted"
changes "$work/measured.txt" >"$work/measured"
[ -s "$work/predicted" ] || fail "the preview lists no change"

# Wine's gap: DeletePrinterDriverExW with the delete flag fails with 87 and removes nothing, so the drivers the
# preview lists as deleted stay, with their spooler keys.
gap=$(grep -E '^drivers deleted\|' "$work/predicted" | while IFS='|' read -r _ driver; do
    environment=${driver%%, *}
    grep -F "|HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\$environment\\Drivers\\Version-3\\${driver#*, }" \
        "$work/predicted"
    echo "drivers deleted|$driver"
done | LC_ALL=C sort -u)
if [ -n "$gap" ]; then
    echo "$gap" >"$work/gap"
    grep -qxFf "$work/gap" "$work/measured" && fail "a driver Wine cannot delete is measured as deleted"
    grep -vxFf "$work/gap" "$work/predicted" >"$work/predicted-on-wine"
else
    cp "$work/predicted" "$work/predicted-on-wine"
fi
if ! diff "$work/predicted-on-wine" "$work/measured" >"$work/diff"; then
    fail "the removal changed other things than the preview listed ('<' listed only, '>' measured only)"
    cat "$work/diff"
fi

# The printers the fixture still finds are those the preview did not list.
expected_left=$(comm -23 <(echo "$printers_before") <(grep '^printers deleted|' "$work/predicted" | cut -d'|' -f2 | sort))
[ "$(fixture printers | sort)" == "$expected_left" ] || fail "printers left: $(fixture printers | tr '\n' ',')"

if [ "$failures" -ne 0 ]; then
    echo "--- preview"; cat "$work/preview.txt"; echo "--- measured"; cat "$work/measured.txt"
    echo "$case_name: $failures check(s) failed"
    exit 1
fi
echo "$case_name: passed ($(wc -l <"$work/predicted-on-wine") changes as previewed; Wine's gap: $(echo -n "$gap" | grep -c .) lines)"
