#!/bin/bash
# Fails when an exe imports a DLL that is not part of Windows itself (a C++ or threading runtime, say):
#   check_imports.sh OBJDUMP PROGRAM.exe
set -u
objdump=$1
exe=$2
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|comctl32|comdlg32|ole32|oleaut32|winspool\.drv|msvcrt|ntdll|version|uxtheme|api-ms-win-crt-[a-z0-9-]+|ucrtbase)(\.dll)?$'
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
if [ -z "$imports" ]; then
    echo "no imports found in $exe (objdump failed?)"
    exit 1
fi
bad=0
for dll in $imports; do
    if [[ ! $dll =~ $allowed ]]; then
        echo "imports $dll, which Windows does not ship"
        bad=1
    fi
done
echo "imports: $(echo $imports)"
exit $bad
