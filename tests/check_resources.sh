#!/bin/sh
# check_resources.sh <windres> <binary> <what>...: the Windows conventions a
# shipped binary carries. <what> is any of: version (3.5.0.7, product name
# Tarnwick), icon, supported-os, visual-styles, dpi-aware.
windres=$1
binary=$2
shift 2
script=$(mktemp)
trap 'rm -f "$script"' EXIT
"$windres" -O rc --input "$binary" --output "$script" 2>/dev/null || { echo "no resources in $binary"; exit 1; }
status=0
need() { grep -q "$2" "$script" && echo "ok: $1" || { echo "missing: $1"; status=1; }; }
for what in "$@"; do
    case $what in
        version) need "file version 3.5.0.7" "FILEVERSION 3, *5, *0, *7"
                 need "product name Tarnwick" 'VALUE "ProductName", "Tarnwick'
                 need "product version" 'VALUE "ProductVersion", "3.5.0.7' ;;
        icon) need "an icon" "RT_GROUP_ICON\\|Type: group icon" ;;
        supported-os) need "supported Windows versions" "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a" ;;
        visual-styles) need "common controls 6" "Microsoft.Windows.Common-Controls" ;;
        dpi-aware) need "DPI awareness" "dpiAware" ;;
    esac
done
exit $status
