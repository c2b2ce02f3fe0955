#!/bin/sh
# rules_test.sh <source root>
# The scripts' shared rules (scripts/helpers/rules.sh) against stand-ins for
# dpkg-query, with-wine32 and runs-32-bit; prints each failed case.
root=$1
. "$root/scripts/helpers/rules.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/rules-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failures=0
expect() { # expect <what> <expected> <actual>
    [ "$2" = "$3" ] || { echo "FAIL $1: expected '$2', got '$3'"; failures=$((failures + 1)); }
}

# package_installed: dpkg-query's status line, or its failure for an unknown package.
mkdir -p "$work/bin"
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
case $3 in
    wine32:i386) printf 'install ok installed' ;;
    debootstrap) printf 'deinstall ok config-files' ;;
    *) echo "dpkg-query: no packages found matching $3" >&2; exit 1 ;;
esac
STUB
chmod +x "$work/bin/dpkg-query"
for case in wine32:i386:0 debootstrap:1 qemu-user:1; do
    package=${case%:*}
    status=0
    PATH="$work/bin:$PATH" package_installed "$package" || status=$?
    expect "package_installed $package" "${case##*:}" "$status"
done

# wine32_root: the fixed place, unless TARNWICK_WINE32_ROOT moves it.
expect "wine32_root" /var/cache/tarnwick/wine32-root "$(unset TARNWICK_WINE32_ROOT; wine32_root)"
expect "wine32_root moved" /srv/w32 "$(TARNWICK_WINE32_ROOT=/srv/w32 wine32_root)"

# debian_codename: this machine's, and nothing of os-release left behind.
expect "debian_codename" "$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release | tr -d '"')" "$(debian_codename)"
unset VERSION_CODENAME ID
debian_codename >/dev/null
expect "debian_codename leaves no variables" "" "${VERSION_CODENAME:-}${ID:-}"

# release_build, over a source folder whose helpers answer as told:
# CHECK_WHY empty = with-wine32 --check passes; HOW = runs-32-bit --how.
fake="$work/src"
mkdir -p "$fake/scripts/helpers"
cat >"$fake/scripts/helpers/with-wine32" <<'STUB'
#!/bin/sh
[ "$1" = --check ] || exit 2
[ -z "$CHECK_WHY" ] && exit 0
echo "$CHECK_WHY"
exit 1
STUB
cat >"$fake/scripts/helpers/runs-32-bit" <<'STUB'
#!/bin/sh
[ "$1" = --how ] && echo "$HOW"
exit 0
STUB
chmod +x "$fake/scripts/helpers/with-wine32" "$fake/scripts/helpers/runs-32-bit"
# check why | how | argument | status build arch with why
while IFS='|' read -r check_why how argument expected; do
    status=0
    CHECK_WHY=$check_why HOW=$how release_build "$fake" $argument || status=$?
    with_name=${with:+with-wine32}
    expect "release_build [$check_why|$how|$argument]" "$expected" \
        "$status ${build#"$fake"/} $arch ${with_name:--} ${why:--}"
done <<'TABLE'
|natively||0 build/win32 i686 with-wine32 -
|through qemu-user||0 build/win32 i686 with-wine32 -
|natively|natively|0 build/win32 i686 with-wine32 -
|through qemu-user|natively|1 build/win64 x86_64 - 32-bit programs run through qemu-user here
wine32 is not installed|natively||1 build/win64 x86_64 - wine32 is not installed
wine32 is not installed|natively|natively|1 build/win64 x86_64 - wine32 is not installed
TABLE

# Every script that sources the rules still parses.
for script in scripts/setup scripts/test scripts/demo scripts/screenshots bench/run bench/compare scripts/helpers/with-wine32 \
    scripts/helpers/wine32-root scripts/helpers/debian-mirror; do
    sh -n "$root/$script" || { echo "FAIL $script does not parse"; failures=$((failures + 1)); }
done
[ $failures -eq 0 ] && echo "rules: all cases passed"
[ $failures -eq 0 ]
