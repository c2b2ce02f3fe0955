#!/bin/sh
# check_imports.sh <objdump> <binary>: fails when the binary imports a DLL
# that is not part of Windows itself.
objdump=$1
binary=$2
allowed="kernel32.dll user32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll comctl32.dll psapi.dll msi.dll msvcrt.dll gdi32.dll"
dlls=$("$objdump" -p "$binary" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || { echo "no import table found in $binary"; exit 1; }
status=0
for dll in $dlls; do
    case " $allowed " in
        *" $dll "*) echo "ok: $dll" ;;
        *) echo "not a Windows system DLL: $dll"; status=1 ;;
    esac
done
exit $status
