#!/bin/bash
# release_test.sh <source root> <work folder>
# scripts/release as a deployer runs it, with a throw-away certificate
# authority, code-signing certificate and time-stamp authority: a signed
# release (every binary and the package verify, the launcher carries the
# signed permissions tool, the sums hold, a changed byte breaks a signature),
# an unsigned one from the same build folder, and signings that must fail (a
# time-stamp server that does not answer or whose authority is not trusted, a
# wrong password) without leaving a release behind, after which a signed and
# time-stamped release comes out whole again. The 32-bit build folder is the
# work folder's own and is kept between runs.
set -uo pipefail
root=$1 work=$2
build=$work/build
run=$work/run
rm -rf "$run"
mkdir -p "$run/pki" "$build"
objdump=i686-w64-mingw32-objdump
binaries="Tarnwick.msi Tarnwick.exe Brisolde.dll SetAcl.exe tarnwick-snapshot.exe"
shipped="Brisolde.dll DEPLOYING.txt SHA256SUMS SetAcl.exe Tarnwick.exe Tarnwick.msi tarnwick-snapshot.exe"
# shellcheck disable=SC2016 # a password that a shell would be tempted to expand
password='pass word "$1" ok'
publisher="Tarnwick test publisher"

passed=0 failed=0
check() { # check <what> <command>...: one finding, named either way
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then
        passed=$((passed + 1)) && echo "ok: $what"
    else
        failed=$((failed + 1)) && echo "FAILED: $what"
    fi
}
fails() { ! "$@"; }
verifies() { osslsigncode verify -CAfile "$2" -in "$1" >"$1.verify" 2>&1; }
refused_by() { [ -s "$1" ] && fails verifies "$1" "$2"; }
sha256_by() { # sha256_by <file>: signed by our publisher with a SHA-256 digest
    verifies "$1" "$run/pki/ca.pem" && grep -q "digest algorithm *: *SHA256" "$1.verify" &&
        grep -q "CN *= *$publisher\|CN=$publisher" "$1.verify"
}
unsigned() { # unsigned <file>: a file with no signature at all
    [ -s "$1" ] && fails osslsigncode extract-signature -in "$1" -out "$1.sig" && refused_by "$1" "$run/pki/ca.pem"
}
carries_unsigned() { unsigned "$2" && carries "$1" "$2"; }
carries_signed() { sha256_by "$2" && carries "$1" "$2"; }
carries() { # carries <outer> <inner>: the inner file's bytes lie within the outer file
    od -An -v -tx1 "$1" | tr -d ' \n' >"$run/outer.hex"
    od -An -v -tx1 "$2" | tr -d ' \n' >"$run/inner.hex"
    [ -s "$run/inner.hex" ] && grep -qF -f "$run/inner.hex" "$run/outer.hex"
}
flip_code_byte() { # flip_code_byte <file> <copy>: the copy with one byte of code inverted
    local offset byte
    cp "$1" "$2" || return 1
    offset=$(( 0x$("$objdump" -h "$1" | awk '$2 == ".text" { print $6 }') + 512 ))
    byte=$(od -An -tu1 -j "$offset" -N 1 "$1" | tr -d ' ')
    # shellcheck disable=SC2059 # the format is the byte's octal escape
    printf "$(printf '\\%03o' $((byte ^ 255)))" | dd of="$2" bs=1 seek="$offset" conv=notrunc status=none
    fails cmp -s "$1" "$2"
}
release() { # release <log> <output folder>: scripts/release, timed
    local start=$SECONDS status
    "$root/scripts/release" -B "$build" "$2" >"$1" 2>&1
    status=$?
    echo "   (scripts/release took $((SECONDS - start)) s, exit code $status)"
    return $status
}
lists_exactly() { [ "$(find "$1" -mindepth 1 -printf '%f\n' | sort | tr '\n' ' ')" = "$(echo "$shipped" | tr ' ' '\n' | sort | tr '\n' ' ')" ]; }
sums_hold() { (cd "$1" && sha256sum --quiet -c SHA256SUMS) && [ "$(wc -l <"$1/SHA256SUMS")" -eq 6 ]; }
nothing_left() { # nothing_left <output folder>: no release and no half-made one
    [ ! -e "$1" ] && [ -z "$(find "$(dirname "$1")" -maxdepth 1 -name '.release.*')" ] &&
        [ -z "$(find "$build/bin" -name '*.signing')" ]
}
unsigned_files_removed() { # unsigned_files_removed <log>: no file the build could not sign is kept
    local names
    names=$(sed -n 's/^Not signed: \(.*\): .*/\1/p' "$1")
    [ -n "$names" ] || return 1
    while read -r name; do
        [ ! -e "$name" ] || return 1
    done <<<"$names"
}
signing() { # signing <password> <time-stamp URL> <command>...: with the test certificate
    local pass=$1 url=$2
    shift 2
    TARNWICK_SIGN_PFX="$run/pki/signer.p12" TARNWICK_SIGN_PASSWORD=$pass TARNWICK_SIGN_CAFILE="$run/pki/ca.pem" \
        TARNWICK_SIGN_TIMESTAMP_URL=$url "$@"
}
not_signing() { # not_signing <command>...: as a deployer without a certificate
    (unset TARNWICK_SIGN_PFX TARNWICK_SIGN_PASSWORD TARNWICK_SIGN_CAFILE TARNWICK_SIGN_TIMESTAMP_URL && "$@")
}

# A certificate authority, a code-signing certificate it issued (in a PKCS#12
# file with a password), and an unrelated authority.
(
    cd "$run/pki" || exit 1
    for ca in ca other-ca; do
        openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ca.key" -out "$ca.pem" -days 2 -subj "/CN=Tarnwick $ca" \
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" || exit 1
    done
    openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=$publisher" &&
    printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
        "extendedKeyUsage=codeSigning" "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid" >signer.ext &&
    openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile signer.ext -out signer.pem &&
    PASSWORD=$password openssl pkcs12 -export -in signer.pem -inkey signer.key -certfile ca.pem \
        -passout env:PASSWORD -out signer.p12 || exit 1
    # Two time-stamp authorities: one the release trusts, one it does not.
    printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
        "extendedKeyUsage=critical,timeStamping" >tsa.ext
    for ca in ca other-ca; do
        openssl req -newkey rsa:2048 -nodes -keyout "tsa-$ca.key" -out "tsa-$ca.csr" -subj "/CN=Time-stamps of $ca" &&
        openssl x509 -req -in "tsa-$ca.csr" -CA "$ca.pem" -CAkey "$ca.key" -CAcreateserial -days 2 -extfile tsa.ext \
            -out "tsa-$ca.pem" && cp "$ca.pem" "tsa-$ca-chain.pem" || exit 1
    done
    printf '%s\n' "[tsa]" "default_tsa = tsa_config" "[tsa_config]" "serial = tsa-serial" "signer_digest = sha256" \
        "default_policy = 1.2.3.4.1" "digests = sha256, sha384, sha512, sha1" "ess_cert_id_alg = sha256" >tsa.cnf
    echo 01 >tsa-serial
) >"$run/pki.log" 2>&1 || { cat "$run/pki.log"; echo "FAILED: the test certificates could not be made"; exit 1; }

# The time-stamp server, on a port of its own, for the last runs.
python3 "$root/tests/release/time_stamp_server.py" "$run/pki" 2>"$run/time-stamp-server.log" &
time_stamp_server=$!
trap 'kill $time_stamp_server 2>/dev/null' EXIT
for _ in $(seq 50); do [ -s "$run/pki/port" ] && break; sleep 0.1; done
time_stamps="http://127.0.0.1:$(cat "$run/pki/port")"
time_stamped() { # time_stamped <file>: signed as sha256_by says, with a time-stamp of the trusted authority
    sha256_by "$1" && osslsigncode verify -CAfile "$run/pki/ca.pem" -TSA-CAfile "$run/pki/ca.pem" -in "$1" 2>&1 |
        grep -q "Timestamp Server Signature verification: ok"
}

echo "== a signed release"
out=$run/signed
signing "$password" "" release "$run/signed.log" "$out"
check "the signed release is made" test $? -eq 0
check "the script names the certificate it signed with" grep -q "signed with $run/pki/signer.p12 (SHA-256)" "$run/signed.log"
check "the folder holds the shipped files and nothing else" lists_exactly "$out"
for file in $binaries; do
    check "$file is signed by the test publisher with a SHA-256 digest" sha256_by "$out/$file"
    check "$file does not verify against an unrelated authority" refused_by "$out/$file" "$run/pki/other-ca.pem"
done
check "the permissions tool is signed" sha256_by "$build/bin/TarnwickPermissions.exe"
check "the launcher carries the signed permissions tool" carries_signed "$out/Tarnwick.exe" "$build/bin/TarnwickPermissions.exe"
check "the password is stored nowhere in the build folder" fails grep -rqF "$password" "$build"
mkdir -p "$run/unpacked"
check "the package carries the signed launcher" \
    sh -c "cd '$run/unpacked' && msiextract '$out/Tarnwick.msi' && cmp \"\$(find . -name Tarnwick.exe)\" '$out/Tarnwick.exe'"
check "SHA256SUMS holds for every file" sums_hold "$out"
check "the deployment guide is the README's part for deployers" \
    sh -c "head -n 1 '$out/DEPLOYING.txt' | grep -qx '## For those who deploy Access applications' &&
           grep -q '^### Making and signing a release' '$out/DEPLOYING.txt' &&
           ! grep -q '<!--\\|^## For contributors' '$out/DEPLOYING.txt'"
for file in Tarnwick.exe Brisolde.dll; do
    check "a copy of $file with one byte of code changed is made" flip_code_byte "$out/$file" "$run/changed-$file"
    check "that copy fails verification" refused_by "$run/changed-$file" "$run/pki/ca.pem"
done
signing "$password" "" "$root/scripts/release" -B "$build" "$out" >"$run/over.log" 2>&1
check "a release is not written over another" test $? -ne 0
check "the script says why" grep -q "$out is not an empty folder" "$run/over.log"
check "which is left as it was" sums_hold "$out"

echo "== an unsigned release from the same build folder"
out=$run/unsigned
not_signing release "$run/unsigned.log" "$out"
check "the unsigned release is made" test $? -eq 0
check "the script says it is not signed" grep -q "not signed: TARNWICK_SIGN_PFX is not set" "$run/unsigned.log"
check "switching signing off links the signed programs again" grep -q "Linking CXX executable bin/TarnwickPermissions.exe" \
    "$run/unsigned.log"
check "and compiles nothing again" fails grep -q "Building CXX object" "$run/unsigned.log"
check "the folder holds the shipped files and nothing else" lists_exactly "$out"
for file in $binaries; do
    check "$file carries no signature" unsigned "$out/$file"
done
check "the permissions tool carries no signature" unsigned "$build/bin/TarnwickPermissions.exe"
check "the launcher carries the unsigned permissions tool" carries_unsigned "$out/Tarnwick.exe" "$build/bin/TarnwickPermissions.exe"
check "SHA256SUMS holds for every file" sums_hold "$out"

echo "== signings that fail"
out=$run/no-time-stamp
signing "$password" http://127.0.0.1:9/ release "$run/no-time-stamp.log" "$out"
check "a time-stamp server that does not answer fails the release" test $? -ne 0
check "the failure names the time-stamp server" grep -q "the time-stamp server http://127.0.0.1:9/ did not answer" \
    "$run/no-time-stamp.log"
check "and leaves no release behind" nothing_left "$out"
check "nor a file it could not sign in the build folder" unsigned_files_removed "$run/no-time-stamp.log"

out=$run/wrong-password
mkdir "$out"
signing "not the password" "" release "$run/wrong-password.log" "$out"
check "a wrong password fails the release" test $? -ne 0
check "the failure names the password" grep -q "wrong password for $run/pki/signer.p12" "$run/wrong-password.log"
check "the empty output folder stays empty" test -z "$(ls -A "$out")"
rmdir "$out"
check "and no half-made release is left" nothing_left "$out"
check "nor a file it could not sign in the build folder" unsigned_files_removed "$run/wrong-password.log"

out=$run/untrusted-time-stamp
signing "$password" "$time_stamps/tsa-other-ca" release "$run/untrusted-time-stamp.log" "$out"
check "a time-stamp of an authority the release does not trust fails it" test $? -ne 0
check "the failure names the file" grep -q "the signature of Tarnwick.msi does not verify" "$run/untrusted-time-stamp.log"
check "and leaves no release behind" nothing_left "$out"

echo "== signed and time-stamped after the failures"
out=$run/signed-again
signing "$password" "$time_stamps/tsa-ca" release "$run/signed-again.log" "$out"
check "the signed release is made" test $? -eq 0
check "the script names the time-stamp server" grep -q "time-stamped by $time_stamps/tsa-ca" "$run/signed-again.log"
for file in $binaries; do
    check "$file is signed by the test publisher and time-stamped" time_stamped "$out/$file"
done
check "the launcher carries the signed permissions tool" carries_signed "$out/Tarnwick.exe" "$build/bin/TarnwickPermissions.exe"
check "the permissions tool is signed" sha256_by "$build/bin/TarnwickPermissions.exe"

echo "package: $(stat -c %s "$out/Tarnwick.msi") bytes signed, launcher: $(stat -c %s "$out/Tarnwick.exe") bytes signed"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
