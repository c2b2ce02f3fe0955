# rules.sh: the small rules the scripts share, each in one place. Sourced
# (". scripts/helpers/rules.sh"), POSIX sh; it defines functions only.

# package_installed <package>: exits 0 when dpkg has the package (for
# example wine32:i386) installed.
package_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# wine32_root: prints the folder of the Debian root with Wine and wine32
# (scripts/helpers/wine32-root makes it; TARNWICK_WINE32_ROOT moves it).
wine32_root() {
    echo "${TARNWICK_WINE32_ROOT:-/var/cache/tarnwick/wine32-root}"
}

# debian_codename: prints this machine's Debian release name (bookworm).
debian_codename() {
    (. /etc/os-release && echo "$VERSION_CODENAME")
}

# release_build <source root> [natively]
# Chooses the build whose Windows programs run here under Wine: the release
# (i686) build wherever a Wine with wine32 can run it (with "natively": only
# where 32-bit programs also run natively, not through an emulator), else the
# x86_64 build. Sets build (its folder), arch (i686 or x86_64), with (the
# with-wine32 wrapper that its Wine commands go through, or empty) and why
# (empty, or why the release build cannot run here); exits 0 for the release
# build, 1 for the x86_64 build.
release_build() {
    with="$1/scripts/helpers/with-wine32"
    if why=$("$with" --check); then
        if [ "$2" != natively ] || [ "$("$1/scripts/helpers/runs-32-bit" --how)" = natively ]; then
            build="$1/build/win32" arch=i686
            return 0
        fi
        why="32-bit programs run through qemu-user here"
    fi
    build="$1/build/win64" arch=x86_64 with=""
    return 1
}
