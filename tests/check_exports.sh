#!/bin/sh
# check_exports.sh <objdump> <dll> <ordinal>:<name>...: fails unless the
# DLL's export table holds exactly these names at these ordinals, and no
# export without a name.
objdump=$1
dll=$2
shift 2
dump=$("$objdump" -p "$dll") || exit 1
base=$(echo "$dump" | sed -n 's/^Export Address Table -- Ordinal Base \([0-9]*\).*/\1/p')
[ -n "$base" ] || { echo "no export table in $dll"; exit 1; }
# The entry count stands before the "Table Addresses" part, which repeats the label.
addresses=$(echo "$dump" | sed -n '/^Table Addresses/q; s/^[[:space:]]*Export Address Table[[:space:]]\{1,\}\([0-9a-fA-F]\{1,\}\)$/\1/p')
# Lines "[   i] Name" of the name table, i counted from the ordinal base.
actual=$(echo "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
         sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]\{1,\}\)\][[:space:]]\{1,\}\([^[:space:]]\{1,\}\)$/\1 \2/p' |
         while read -r index name; do echo "$((index + base)):$name"; done | sort)
expected=$(for entry in "$@"; do echo "$entry"; done | sort)
status=0
if [ "$actual" != "$expected" ]; then
    echo "exports differ"
    echo "expected:"; echo "$expected"
    echo "actual:"; echo "$actual"
    status=1
fi
if [ "$((0x$addresses))" -ne "$#" ]; then
    echo "the export address table has $((0x$addresses)) entries, not $#"
    status=1
fi
[ $status -eq 0 ] && echo "$actual"
exit $status
