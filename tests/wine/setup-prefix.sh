#!/bin/sh
# setup-prefix.sh <wine-run> <prefix> <bin dir>
# Makes this run's own Wine prefix: a fresh wineboot, the null graphics
# driver, user folders of its own instead of links into $HOME, one
# persistent wineserver, and the registry snapshot every scenario starts from.
wine_run=$1
WINEPREFIX=$2
bindir=$3
. "$(dirname "$0")/wine-env.sh"
prefix=$WINEPREFIX
log="$prefix.setup.log"

# Wine's background processes outlive this script; they must not hold the
# caller's output open (a test runner would wait for them), so the work runs
# with its output in a log file.
(
    set -e
    wine_new_prefix
    wineserver -p

    wine_use_null_display
    wine_own_user_folders
    mkdir -p "$prefix/drive_c/tarnwick-tests"
    TARNWICK_TEST_PREFIX=$prefix "$wine_run" "$bindir/regsnap.exe" save 'C:\tarnwick-tests\pristine.snap'
) >"$log" 2>&1 </dev/null
status=$?
cat "$log"
[ $status -eq 0 ] && echo "Wine prefix ready: $prefix"
exit $status
