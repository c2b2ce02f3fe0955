#!/bin/sh
# setup-prefix.sh <wine-run> <prefix> <bin dir>
# Makes this run's own Wine prefix: a fresh wineboot, the null graphics
# driver, user folders of its own instead of links into $HOME, one
# persistent wineserver, and the registry snapshot every scenario starts from.
wine_run=$1
prefix=$(realpath -m "$2")
bindir=$3
export WINEPREFIX="$prefix" WINEDEBUG=-all
log="$prefix.setup.log"

# Wine's background processes outlive this script; they must not hold the
# caller's output open (a test runner would wait for them), so the work runs
# with its output in a log file.
(
    set -e
    wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" wineboot -i
    wineserver -w
    wineserver -p

    "$wine_run" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    for user_dir in "$prefix"/drive_c/users/*/; do
        for link in Desktop Documents Downloads Music Pictures Videos; do
            if [ -L "$user_dir$link" ]; then
                rm "$user_dir$link"
                mkdir "$user_dir$link"
            fi
        done
    done
    mkdir -p "$prefix/drive_c/tarnwick-tests"
    "$wine_run" "$bindir/regsnap.exe" save 'C:\tarnwick-tests\pristine.snap'
) >"$log" 2>&1 </dev/null
status=$?
cat "$log"
[ $status -eq 0 ] && echo "Wine prefix ready: $prefix"
exit $status
