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
