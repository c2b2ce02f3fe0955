#!/bin/sh
# check_imports.sh <objdump> <binary> [dll...]: fails when the binary imports
# a DLL other than kernel32, user32, advapi32, the C runtime and the DLLs
# named after the binary. Those four are loaded before any of the program's
# code runs on every Windows, from the system folder; any other library a
# program imports would be searched for beside it first on some systems.
objdump=$1
binary=$2
shift 2
allowed="kernel32.dll user32.dll advapi32.dll msvcrt.dll $*"
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
