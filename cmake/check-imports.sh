#!/usr/bin/env bash
# Fails when the program's import table names a library that Windows might take from the
# program's own folder: only KnownDLLs (always from the system folder) are allowed, and comctl32,
# which the manifest binds side by side. Any other library is loaded at run time from the system
# folder (win32/SystemLibraries.h).
#   check-imports.sh <objdump> <program>
#   check-imports.sh --known-dlls     prints the KnownDLLs below, one a line
set -euo pipefail
# Windows 10's KnownDLLs that a program like this may import (ntdll is mapped into every process
# before anything else).
known="advapi32 comdlg32 gdi32 imm32 kernel32 msvcrt ntdll ole32 oleaut32 rpcrt4 setupapi shell32"
known+=" shlwapi user32 ws2_32"
if [ "${1:-}" = --known-dlls ]; then
    printf '%s.dll\n' $known
    exit 0
fi
objdump="$1" program="$2"
allowed=" $known comctl32 "
imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
[ -n "$imports" ] || { echo "check-imports: no import table read from $program" >&2; exit 1; }
bad=""
for name in $imports; do
    base=$(tr '[:upper:]' '[:lower:]' <<<"${name%.*}")
    case "$allowed" in
        *" $base "*) ;;
        *) bad="$bad $name" ;;
    esac
done
if [ -n "$bad" ]; then
    echo "check-imports: $program imports$bad, which Windows may load from the program's folder;" \
        "load it in win32/SystemLibraries.cpp instead" >&2
    exit 1
fi
echo "imports:" $imports
