#!/bin/bash
# A language library planted beside the exe runs none of its code, and its resources still serve the dialog:
#   planted_language.sh WINE_RUN DIALOG_WINDOW_TESTS SPOOLSWEEP_EXE FIXTURE_EXE PLANTED_DLL
# The window test copies the exe into a folder of its own with PLANTED_DLL as SpoolsweepDEU.dll, starts it
# without options in a German locale, reads the dialog's German texts and looks for the marker the library's
# entry point would leave in the working folder. Headless: the dialog's windows exist without a display.
set -u
wine_run=$(realpath "$1")
tests=$2
exe=$(realpath "$3")
fixture=$4
planted=$(realpath "$5")
[ -f "$tests" ] || { echo "no window tests at $tests (they are built by the windows-x64 preset): skipped"; exit 77; }
[ -f "$fixture" ] || { echo "no wine fixture at $fixture (it is built by the windows-x64 preset): skipped"; exit 77; }
"$wine_run" || exit $?

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
LC_ALL=de_DE.UTF-8 SPOOLSWEEP_EXPECT_LANGUAGE=DEU SPOOLSWEEP_PLANTED_LIBRARY="$planted" \
    timeout 150 "$wine_run" "$(realpath "$tests")" "$exe" "$(realpath "$fixture")" \
    --gtest_filter=DialogMode.SpeaksTheLanguageChosenAtStart
status=$?
if [ -e "$work/planted-dll-loaded" ]; then
    echo "FAIL: the planted library's entry point ran"
    exit 1
fi
exit $status
