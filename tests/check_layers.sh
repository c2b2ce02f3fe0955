#!/bin/sh
# check_layers.sh <source root>
# Each product folder includes only from itself and the folders below it:
#   common  <  registry  <  permissions  <  access  <  launcher
# custom_actions and tools/snapshot stand beside them. Prints every include
# that runs the other way.
cd "$1" || exit 1
status=0
# folder | the folders (or headers) its includes may name
while IFS='|' read -r folder allowed; do
    for file in "$folder"/*.h "$folder"/*.cpp "$folder"/*.rc; do
        [ -f "$file" ] || continue
        sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\/[^"]*\)".*/\1/p' "$file" | while read -r included; do
            ok=""
            for prefix in $allowed; do
                case $included in "$prefix" | "$prefix"/*) ok=yes ;; esac
            done
            [ -n "$ok" ] || echo "$file includes \"$included\", which is above it"
        done
    done
done >"${TMPDIR:-/tmp}/layers.$$" <<'TABLE'
common|common
registry|common registry
permissions|common registry permissions
access|common registry permissions access launcher/context.h
launcher|common registry permissions access launcher
custom_actions|common permissions custom_actions
tools/snapshot|common registry tools/snapshot resources
TABLE
if [ -s "${TMPDIR:-/tmp}/layers.$$" ]; then
    cat "${TMPDIR:-/tmp}/layers.$$"
    status=1
else
    echo "layers: every include runs downwards"
fi
rm -f "${TMPDIR:-/tmp}/layers.$$"
exit $status
