# Sourced by every script here that runs Windows programs under Wine: the
# one place for the environment they share. The caller sets WINEPREFIX to
# the prefix of its own first; the user's ~/.wine is never used.
#   WINEPREFIX=... ; . tests/wine/wine-env.sh
[ -n "$WINEPREFIX" ] || { echo "wine-env.sh: WINEPREFIX is not set" >&2; exit 2; }
WINEPREFIX=$(realpath -m "$WINEPREFIX")
# Quiet Wine, no Mono or Gecko installer, no desktop menu entries.
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
# One locale whatever the caller's shell says, so that Wine maps file names
# to and from Unix ones the same way on every machine: C.UTF-8 comes with the
# C library itself (Debian's libc-bin) and needs no generated locales. Under
# a locale that is not generated (or plain C), Wine's file names are ASCII
# only: creating a folder with a Cyrillic name fails.
LC_ALL=C.UTF-8
export LC_ALL
unset LANGUAGE
# Windows and message boxes exist without a display (the null graphics
# driver, set by wine_use_null_display); a script that photographs them sets
# DISPLAY again after sourcing.
unset DISPLAY

# A fresh prefix, with no wineserver left from an earlier one.
wine_new_prefix() {
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    wineboot -i
    wineserver -w
}

wine_use_null_display() {
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
}

# wineboot links Desktop, Documents and the like to $HOME: folders of the
# prefix instead, so that no two prefixes share the launcher's log.
wine_own_user_folders() {
    for user_dir in "$WINEPREFIX"/drive_c/users/*/; do
        for link in Desktop Documents Downloads Music Pictures Videos; do
            if [ -L "$user_dir$link" ]; then
                rm "$user_dir$link"
                mkdir "$user_dir$link"
            fi
        done
    done
}

wine_stop() {
    wineserver -k 2>/dev/null || true
}
