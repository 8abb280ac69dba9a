#!/bin/bash
# Fails when an exe imports a DLL that Windows does not protect as a KnownDLL:  check_imports.sh OBJDUMP PROGRAM.exe
# Any other import is looked for first in the exe's own folder, so a DLL of that name planted beside the exe
# would run inside it (elevated, for this program). comctl32 is the one exception, as the manifest binds it to
# the side-by-side common controls; the manifest must then say so.
set -u
objdump=$1
exe=$2
known='^(kernel32|kernelbase|user32|gdi32|gdiplus|advapi32|shell32|shlwapi|ole32|oleaut32|comdlg32|ws2_32|msvcrt|rpcrt4|sechost|imm32|setupapi|psapi|normaliz|difxapi|combase|wldap32|clbcatq|imagehlp|msctf|nsi|coml2|ntdll)\.dll$'
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
if [ -z "$imports" ]; then
    echo "no imports found in $exe (objdump failed?)"
    exit 1
fi
bad=0
for dll in $imports; do
    if [ "$dll" = comctl32.dll ]; then
        grep -q 'Microsoft.Windows.Common-Controls' "$exe" ||
            { echo "imports comctl32.dll without a manifest that binds the common controls"; bad=1; }
    elif [[ ! $dll =~ $known ]]; then
        echo "imports $dll, which is no KnownDLL: a copy beside the exe would be loaded"
        bad=1
    fi
done
echo "imports: $(echo $imports)"
exit $bad
