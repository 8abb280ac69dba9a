#!/bin/bash
# One case of the 64-bit window tests run against this tier's exe, headless, in a working folder of its own:
#   dialog_case.sh WINE_RUN DIALOG_WINDOW_TESTS SPOOLSWEEP_EXE FIXTURE_EXE GTEST_FILTER
# Whatever the case, no planted library's entry point may have run: it would leave a marker in that folder
# (tests/e2e/planted_dll.cpp).
set -u
wine_run=$(realpath "$1")
tests=$2
exe=$(realpath "$3")
fixture=$4
filter=$5
[ -f "$tests" ] || { echo "no window tests at $tests (they are built by the windows-x64 preset): skipped"; exit 77; }
[ -f "$fixture" ] || { echo "no wine fixture at $fixture (it is built by the windows-x64 preset): skipped"; exit 77; }
"$wine_run" || exit $?
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
timeout 170 "$wine_run" "$(realpath "$tests")" "$exe" "$(realpath "$fixture")" --gtest_filter="$filter"
status=$?
if [ -e "$work/planted-dll-loaded" ]; then
    echo "FAIL: the planted library's entry point ran"
    exit 1
fi
exit $status
