#!/bin/bash
# How tools/wine-run starts Windows programs, and tells one that Wine ended from one that failed on its own:
#   wine_run_test.sh WINE_RUN
# Each case runs Wine's cmd.exe, which ends with the status it is given and writes only what it is told to,
# so it stands for both: a status without a word (as Wine ends a program) and a status with a report (as our
# programs fail). A line of the form of Wine's debug messages stands for one of Wine's errors. The last check
# is how Wine's processes start.
set -u
wine_run=$(realpath "$1")
"$wine_run" || exit $?

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export SPOOLSWEEP_WINE_RETRY_LOG="$work/retries"
wine_line='0123:err:test:one of Wine'"'"'s errors'

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# case NAME STATUS STDOUT RETRIES STDERR_HAS STDERR_LACKS -- ENV... -- CMD_LINE
# STDERR_HAS and STDERR_LACKS are fixed strings ("" checks nothing); RETRIES is the lines the retry log gets.
check() {
    local name=$1 want_status=$2 want_stdout=$3 want_retries=$4 has=$5 lacks=$6
    shift 7
    local env=()
    while [ "$1" != -- ]; do env+=("$1"); shift; done
    shift
    rm -f marker "$SPOOLSWEEP_WINE_RETRY_LOG"
    env "${env[@]}" "$wine_run" cmd.exe /c "$1" >stdout 2>stderr
    local status=$? retries=0
    [ -f "$SPOOLSWEEP_WINE_RETRY_LOG" ] && retries=$(wc -l <"$SPOOLSWEEP_WINE_RETRY_LOG")
    [ "$status" -eq "$want_status" ] || fail "$name: exit status $status (expected $want_status)"
    local out
    out=$(tr -d '\r' <stdout)
    [ "$out" = "$want_stdout" ] || fail "$name: stdout '$out' (expected '$want_stdout')"
    [ "$retries" -eq "$want_retries" ] || fail "$name: $retries retries logged (expected $want_retries)"
    [ -z "$has" ] || grep -qF "$has" stderr || fail "$name: stderr lacks '$has': $(head -c 600 stderr)"
    [ -z "$lacks" ] || ! grep -qF "$lacks" stderr || fail "$name: stderr has '$lacks': $(head -c 600 stderr)"
}

once_more="Wine ended it, so it runs once more"
silent_once='if exist marker (exit 0) else (type nul > marker & exit 1)'
#     name                        status stdout  retries  stderr has               stderr lacks
check "silent once, then passes"  0      ""      1        "$once_more"             "" \
    -- -- "$silent_once"
check "silent both times"         1      ""      1        "said nothing of its own" "" \
    -- -- 'exit 1'
[ "$(grep -c "said nothing of its own" stderr)" -eq 2 ] || fail "silent both times: not both runs named"
check "retry turned off"          1      ""      0        "said nothing of its own" "$once_more" \
    -- SPOOLSWEEP_WINE_RETRY=0 -- 'exit 1'
check "a report on stdout"        1      refused 0        ""                       "$once_more" \
    -- -- 'echo refused& exit 1'
check "a report on stderr"        1      ""      0        refused                  "$once_more" \
    -- -- 'echo refused>&2& exit 1'
check "only Wine's errors, fails" 1      ""      1        "$wine_line"             "" \
    -- -- "echo $wine_line>&2& exit 1"
check "Wine's errors dropped"     0      ""      0        own                      "$wine_line" \
    -- -- "echo $wine_line>&2& echo own>&2"
check "the caller's WINEDEBUG"    0      ""      0        "$wine_line"             "" \
    -- WINEDEBUG=-all -- "echo $wine_line>&2"
# As Wine said it when the heap had taken the shared user data's address: before a thread exists, no number.
first_line='err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data: c0000018'
check "Wine's start-up error"     1      ""      1        "$first_line"            "" \
    -- -- "echo $first_line>&2& exit 1"

# A Windows program's process starts with the address space not randomized (the personality flag 0x0040000),
# wherever the flag can be set: read from outside while Wine's ping.exe waits a second.
layout=00000000
setarch -R true 2>/dev/null && layout=00040000
"$wine_run" ping.exe -n 2 127.0.0.1 >/dev/null 2>&1 &
pinging=$!
seen=""
for _ in $(seq 40); do
    for pid in $(pgrep -f 'ping.exe -n 2 127.0.0.1'); do
        [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "${WINE:-/usr/lib/wine/wine64}")" ] &&
            read -r seen <"/proc/$pid/personality" && break 2
    done
    sleep 0.05
done
wait "$pinging"
[ "$seen" = "$layout" ] || fail "ping.exe's process has the personality '$seen' (expected $layout)"
if [ "$failures" -ne 0 ]; then
    echo "wine-run: $failures check(s) failed"
    exit 1
fi
echo "wine-run: passed"
