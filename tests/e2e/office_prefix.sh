# Sourced by the end-to-end scripts that prepare an office prefix:  . office_prefix.sh WINE_RUN FIXTURE_EXE
# Each script gets a fresh Wine prefix of its own, removed with its folder on exit, and the helpers it checks
# with. Exits 77 (skipped) when the fixture is not built or this Wine cannot run the programs.
wine_run=$(realpath "$1")
if [ ! -f "$2" ]; then
    echo "no wine fixture at $2 (it is built by the windows-x64 preset): skipped"
    exit 77
fi
fixture=$(realpath "$2")

work=$(mktemp -d)
export SPOOLSWEEP_WINE_ROOT="$work/wine"
cleanup() {
    WINEPREFIX="$("$wine_run" --prefix)" /usr/lib/wine/wineserver -k >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
"$wine_run" || exit $?

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

fixture() {
    "$wine_run" "$fixture" "$@" | tr -d '\r'
}

# Several of the fixture's commands, separated by "--" as it takes them, in one Wine process instead of one
# each (a start costs a quarter of a second of processor time); `answer N` then prints the Nth one's output.
# The fixture stops at the first command that fails, so the answers of that one and of those after are empty.
ask_fixture() {
    "$wine_run" "$fixture" "$@" | tr -d '\r' |
        awk '/^fixture: done [0-9]+$/ { n++; next } { print n + 1 "\t" $0 }' >"$work/answers"
}
answer() {
    awk -v n="$1" 'index($0, n "\t") == 1 { print substr($0, length(n) + 2) }' "$work/answers"
}
