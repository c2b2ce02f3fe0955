#!/bin/bash
# snapshot_openssl.sh <wine-run> <bin dir> <prefix> <work dir>
# The snapshot file against OpenSSL's Blowfish, both ways: a file the
# launcher writes in capture mode is deciphered by OpenSSL, and a file that
# OpenSSL enciphers is applied by the launcher in restore mode.
set -euo pipefail
run=$1 bin=$2 prefix=$3 work=$4
mkdir -p "$work"
key=79EA7D9C7DBED04802835F89972A0F91
bf() { openssl enc "$@" -nopad -provider legacy -provider default -K "$key"; }
hex() { od -An -tx1 | tr -d ' \n'; }
iv=$(printf '\320\247\064\165\165\223\176\332' | bf -bf-ecb | hex)
temp=$(ls -d "$prefix"/drive_c/users/*/Temp | grep -v /Public/ | head -n 1)
file="$temp/~ZQReg.dat"

"$run" "$bin/regsnap.exe" reset 'C:\tarnwick-tests\pristine.snap'
"$run" reg add 'HKCR\Access.Application\CurVer' /ve /d Access.Application.10 /f >/dev/null
"$run" reg add 'HKLM\SOFTWARE\Microsoft\Office\Common' /v LastAccessInstall /t REG_DWORD /d 4294967295 /f >/dev/null
rm -f "$file"
"$run" "$bin/Tarnwick.exe" -CAPTURE
bf -d -bf-cbc -iv "$iv" -in "$file" | tr -d '\377' > "$work/captured.txt"
expected_curver=$(printf 'HKEY_CLASSES_ROOT\\Access.Application\\CurVer\t=REG_SZ\tAccess.Application.10')
expected_last=$(printf 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\Common\tLastAccessInstall=REG_DWORD\t4294967295')
grep -qxF "$expected_curver" "$work/captured.txt" || { echo "missing line: $expected_curver"; cat "$work/captured.txt"; exit 1; }
grep -qxF "$expected_last" "$work/captured.txt" || { echo "missing line: $expected_last"; exit 1; }
[ "$(tail -n 1 "$work/captured.txt")" = "$expected_last" ] || { echo "the machine rows come last"; exit 1; }
echo "capture: OpenSSL deciphers the launcher's file ($(wc -l < "$work/captured.txt") lines)"

# 35 bytes of text and 5 of 0xFF padding, enciphered by OpenSSL.
{ printf 'HKEY_CLASSES_ROOT\\.mdb\t=REG_SZ\tAccess.Application.9\n'; printf '\377\377\377\377\377\377'; } |
    head -c $(( ($(printf 'HKEY_CLASSES_ROOT\\.mdb\t=REG_SZ\tAccess.Application.9\n' | wc -c) + 7) / 8 * 8 )) |
    bf -bf-cbc -iv "$iv" > "$file"
"$run" reg delete 'HKCR\.mdb' /f >/dev/null 2>&1 || true
"$run" "$bin/Tarnwick.exe" -RESTORE
"$run" reg query 'HKCR\.mdb' /ve | grep -q 'REG_SZ *Access.Application.9' || { echo "restore did not apply the file"; exit 1; }
[ ! -e "$file" ] || { echo "the file was not deleted"; exit 1; }
echo "restore: the launcher applies OpenSSL's file and deletes it"
