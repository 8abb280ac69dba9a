#!/bin/bash
# The dialog's language under Wine with a display, in a German system locale:
#   language_case.sh WINE_RUN DIALOG_WINDOW_TESTS SPOOLSWEEP_EXE FIXTURE_EXE CASE
# german         the German library beside the program serves the dialog;
# server-french  drive E holds the print server's language file naming French, which wins over the locale;
# no-library     the program alone in a folder: its own English resources.
# Wine takes each process's locale from LC_ALL; drive E is a link in the display prefix's dosdevices folder.
set -u
wine_run=$1
tests=$2
exe=$3
fixture=$4
case_name=$5
root=${SPOOLSWEEP_WINE_ROOT:-${TMPDIR:-/tmp}/spoolsweep-wine-$(id -u)}
export SPOOLSWEEP_WINE_DISPLAY=1 LC_ALL=de_DE.UTF-8

case "$case_name" in
    german)
        export SPOOLSWEEP_EXPECT_LANGUAGE=DEU
        ;;
    server-french)
        drive=$(mktemp -d)
        link="$root/prefix-x11/dosdevices/e:"
        trap 'rm -f "$link"; rm -rf "$drive"' EXIT
        mkdir -p "$drive/norvel/server/lcdstr"
        printf 'serverlang=fr\r\n' >"$drive/norvel/server/lcdstr/current.lang"
        ln -sfn "$drive" "$link"
        export SPOOLSWEEP_EXPECT_LANGUAGE=FRA
        ;;
    no-library)
        export SPOOLSWEEP_EXPECT_LANGUAGE=ENU SPOOLSWEEP_EXE_ALONE=1
        ;;
    *)
        echo "language_case.sh: unknown case $case_name" >&2
        exit 2
        ;;
esac
"$wine_run" "$tests" "$exe" "$fixture" --gtest_filter=DialogMode.SpeaksTheLanguageChosenAtStart
