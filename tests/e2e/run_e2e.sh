#!/bin/bash
# End-to-end runs of Spoolsweep.exe under Wine:  run_e2e.sh WINE_RUN SPOOLSWEEP_EXE CASE [PLANTED_DLL]
# Each case runs the program in a fresh working directory and compares its console output and its command
# log byte for byte. Under Wine the console is the Linux pipe, so each "\n" arrives as CR LF.
set -u
wine_run=$(realpath "$1")
exe=$(realpath "$2")
case_name=$3
# Prepares the prefix; exit 77 (skipped) when this Wine cannot run the exe at all.
"$wine_run" || exit $?

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Runs the program with the given arguments; stdout lands in $work/stdout.
run() {
    "$wine_run" "$exe" "$@" >"$work/stdout" 2>"$work/stderr"
    status=$?
    [ "$status" -eq 0 ] ||
        fail "exit status $status (expected 0); stdout: $(head -c 500 "$work/stdout"); stderr: $(head -c 500 "$work/stderr")"
}

expect_stdout() {
    printf '%s' "$1" >"$work/expected"
    if ! cmp -s "$work/expected" "$work/stdout"; then
        fail "console output differs"
        echo "--- expected"; od -c "$work/expected" | head -20
        echo "--- actual"; od -c "$work/stdout" | head -20
    fi
}

# The log's entries without their timestamps: "\r\n " + yyyy-mm-dd.hh:mm:ss + banner + message per entry.
log_messages() {
    [ -f "$work/Spoolsweep_CL.log" ] || { echo "<no log>"; return; }
    LC_ALL=C sed -E 's/^ [0-9]{4}-[0-9]{2}-[0-9]{2}\.[0-9]{2}:[0-9]{2}:[0-9]{2}\t Tamber Spoolsweep Command Line  ------> \t/|/' \
        "$work/Spoolsweep_CL.log" | tr -d '\r'
}

expect_log() {
    local expected
    expected=$(printf '%s' "$1")
    local actual
    actual=$(log_messages)
    if [ "$actual" != "$expected" ]; then
        fail "command log differs"
        echo "--- expected"; printf '%s\n' "$expected"
        echo "--- actual"; printf "%s\n" "$actual"
    fi
    # Every entry begins with CR LF and a blank; the file ends right after the last message.
    if [ -f "$work/Spoolsweep_CL.log" ] && [ "$(head -c 3 "$work/Spoolsweep_CL.log" | od -An -c | tr -d ' ')" != '\r\n' ]; then
        fail "the log does not begin with CR LF and a blank"
    fi
}

usage=$' \t Usage: Spoolsweep.exe [options]     \r\n \t Options can be any of the following: \r\n \t 1. -rmPrints -> removes all the printers.\r\n \t 2. -p  "Printer1 , Printer2" -> Remove specified printers. Printer names must be separated by comma and complete list should be enclosed within " ". \r\n \t 3. -getInstalledPrinters -> Get a list of all printers using Tamber Drivers.'

case "$case_name" in
    help-dash)
        run -help
        expect_stdout "$usage"
        expect_log $'\n|Print the Usage Menu\n|Command Line Arguments Passed so No UI is launched.'
        ;;
    help-slash)
        run /help
        expect_stdout "$usage"
        expect_log $'\n|Print the Usage Menu\n|Command Line Arguments Passed so No UI is launched.'
        ;;
    unrecognised-option)
        run -RMPRINTS
        expect_stdout ""
        expect_log $'\n|Command Line Arguments Passed so No UI is launched.'
        ;;
    planted-winspool)
        # The exe in a folder of its own beside a winspool.drv that marks its loading. Wine prefers its own
        # builtin winspool.drv to one found beside the exe; "native first" makes it load as Windows would.
        mkdir "$work/app" && cp "$exe" "$work/app/" && cp "$4" "$work/app/winspool.drv"
        exe="$work/app/$(basename "$exe")"
        # An exe that did load it would fail on its missing entries (Wine then waits in its debugger).
        WINEDLLOVERRIDES="mscoree,mshtml=;winspool.drv=n,b" timeout 60 "$wine_run" "$exe" -help >"$work/stdout" 2>&1 ||
            fail "exit status $? (expected 0)"
        expect_stdout "$usage"
        [ ! -e "$work/planted-dll-loaded" ] || fail "the winspool.drv beside the exe was loaded"
        ;;
    written-links)
        # The names the program and its preview write in the working folder, planted as links to a file
        # elsewhere in the prefix: a Unix symbolic link (Wine shows it as a plain file), a hard link, and a
        # link to a file that does not exist yet. The command log is then not written, and nothing elsewhere,
        # with the console unchanged; the preview's snapshot is refused with a message. The working folder is
        # inside the prefix, so that a hard link can reach the victim.
        preview="$(dirname "$exe")/SpoolsweepPreview.exe"
        prefix=$("$wine_run" --prefix)
        rm -rf "$work" && work=$(mktemp -d "$prefix/drive_c/written-links.XXXXXX") && cd "$work" || exit 1
        victim="$prefix/drive_c/windows/spoolsweep-victim.ini"
        planted="$prefix/drive_c/windows/spoolsweep-planted.log"
        trap 'rm -rf "$work" "$victim" "$planted"' EXIT
        printf '[victim]\r\nkeep=1\r\n' >"$victim" && cp "$victim" "$work/victim.orig"
        rm -f "$planted"
        run -getInstalledPrinters
        mv "$work/stdout" "$work/console.plain"
        expect_log $'\n|GetInstalled Printers\n|Command Line Arguments Passed so No UI is launched.'
        "$wine_run" "$preview" --save snapshot.json >/dev/null 2>"$work/stderr" || fail "the plain snapshot was not saved"
        grep -q '"currentDirectory"' snapshot.json || fail "the plain snapshot holds no machine"
        for kind in symbolic hard dangling; do
            for name in Spoolsweep_CL.log snapshot.json; do
                rm -f "$work/$name"
                case $kind in
                    symbolic) ln -s "$victim" "$work/$name" ;;
                    hard) ln "$victim" "$work/$name" || fail "cannot make the hard link" ;;
                    dangling) ln -s "$planted" "$work/$name" ;;
                esac
            done
            run -getInstalledPrinters
            cmp -s "$work/console.plain" "$work/stdout" || fail "$kind link: console output differs"
            "$wine_run" "$preview" --save snapshot.json >/dev/null 2>"$work/stderr"
            status=$?
            [ "$status" -eq 2 ] && grep -q "snapshot.json is a link or a file with more than one name" "$work/stderr" ||
                fail "$kind link: the preview's save was not refused (exit $status): $(head -c 300 "$work/stderr")"
            cmp -s "$work/victim.orig" "$victim" || fail "$kind link: the file it leads to was written"
            cp "$work/victim.orig" "$victim"
            [ ! -e "$planted" ] || fail "$kind link: a file was created where the link leads"
            others=$(find "$prefix/drive_c" -name Spoolsweep_CL.log ! -path "$work/*" -newer "$work/victim.orig" | head -3)
            [ -z "$others" ] || fail "$kind link: a log was written elsewhere: $others"
        done
        ;;
    no-spooler)
        # With winspool.drv missing the program says so and ends, rather than crash or fail each printer.
        WINEDLLOVERRIDES="mscoree,mshtml=;winspool.drv=d" timeout 60 "$wine_run" "$exe" -rmPrints >"$work/stdout" 2>&1
        status=$?
        [ "$status" -eq 1 ] || fail "exit status $status (expected 1)"
        expect_stdout $'Spoolsweep cannot load winspool.drv from the Windows system folder (error 126).\r\n'
        ;;
    parent-console)
        # Started from cmd.exe inside a terminal, the usage text appears in cmd's console. (Wine refuses
        # AttachConsole here too, but hands the program cmd's console handles, so standard output reaches it.)
        # The console draws the text with cursor movements, so only the visible characters compare.
        windows_exe="Z:$(tr '/' '\\' <<<"$exe")"
        SPOOLSWEEP_WINE_KEEP_STDIO=1 timeout 60 script -qec "$(printf '%q ' "$wine_run" cmd /c "$windows_exe" -help)" \
            /dev/null </dev/null >"$work/terminal" 2>&1 || fail "the console run failed"
        visible() { LC_ALL=C sed -E 's/\x1b\[[?0-9;]*[a-zA-Z]//g; s/\x1b\][^\x07]*\x07//g' | tr -d ' \t\r\n'; }
        expected_visible=$(printf '%s' "$usage" | visible)
        actual_visible=$(visible <"$work/terminal")
        if [ "$actual_visible" != "$expected_visible" ]; then
            fail "the usage text did not reach the console"
            echo "--- expected (visible characters)"; echo "$expected_visible"
            echo "--- actual"; echo "$actual_visible" | head -c 2000
        fi
        expect_log $'\n|Print the Usage Menu\n|Command Line Arguments Passed so No UI is launched.'
        ;;
    *)
        echo "unknown case $case_name"
        exit 2
        ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "$case_name: $failures check(s) failed"
    exit 1
fi
echo "$case_name: passed"
