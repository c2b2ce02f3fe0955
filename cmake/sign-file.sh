#!/bin/sh
# sign-file.sh <osslsigncode> <PKCS#12 file> <file> [<time-stamp URL>]
# Signs <file> in place with an Authenticode signature (SHA-256 digest), and
# time-stamps it when a URL is given. The certificate's password is read from
# TARNWICK_SIGN_PASSWORD in the environment and reaches osslsigncode through
# a pipe, so that it is neither in the build files nor on a command line.
#
# A file that cannot be signed is deleted: the build fails, and the next one
# makes and signs it again instead of taking the unsigned file as done.
osslsigncode=$1 pfx=$2 file=$3 url=${4:-}
signed="$file.signing"

fail() {
    echo "Not signed: $file: $1" >&2
    rm -f "$signed" "$file"
    exit 1
}

[ -f "$pfx" ] || fail "the certificate $pfx (TARNWICK_SIGN_PFX) does not exist"
[ -n "${TARNWICK_SIGN_PASSWORD+set}" ] ||
    fail "TARNWICK_SIGN_PASSWORD is not set (set it to the certificate's password, empty when it has none)"

rm -f "$signed"
set -- -pkcs12 "$pfx" -h sha256 -n Tarnwick
# osslsigncode reads no empty password from a file: a certificate without
# one is opened without -readpass.
[ -z "$TARNWICK_SIGN_PASSWORD" ] || set -- "$@" -readpass /dev/fd/0
[ -z "$url" ] || set -- "$@" -ts "$url"
# printf is the shell's own: the password is never an argument of a process.
if ! output=$(printf '%s' "$TARNWICK_SIGN_PASSWORD" |
              "$osslsigncode" sign "$@" -in "$file" -out "$signed" 2>&1); then
    echo "$output" >&2
    case $output in
        *"mac verify failure"* | *"Wrong password"*)
            fail "wrong password for $pfx (TARNWICK_SIGN_PASSWORD)" ;;
        *"timestamping failed"* | *"Time-Stamp"*)
            fail "the time-stamp server $url did not answer or gave no time-stamp" ;;
    esac
    fail "osslsigncode could not sign with $pfx (its output is above)"
fi
[ -s "$signed" ] || fail "osslsigncode wrote no signed file"
chmod "$(stat -c %a "$file")" "$signed"
mv -f "$signed" "$file" || fail "the signed file could not replace it"
