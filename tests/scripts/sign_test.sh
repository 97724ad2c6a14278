#!/usr/bin/env bash
# scripts/sign.sh against the built setup.exe, with a throwaway CA and
# certificates made here: the signature verifies and names what it was
# given, the same inputs give the same bytes, removing the signature gives
# back the unsigned build, and bad inputs are refused with a clear message,
# leaving the input as it was and no output.
#   bash sign_test.sh SETUP_EXE [SIGNED_OUT]
# SIGNED_OUT, when given, receives the signed setup.exe for the tests that
# run it under Wine.
set -euo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/sign.sh
unsigned=$(realpath "$1") signed_out=${2:+$(realpath -m "$2")}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
failures=0
failed() { failures=$((failures + 1)); echo "FAILED: $*"; }
sign() {  # sign WHAT [ENV=VALUE...] -- ARGUMENTS..., standard input from $stdin
    local what=$1 vars=() output
    shift
    while [ "$1" != -- ]; do vars+=("$1"); shift; done
    shift
    output=$(env "${vars[@]}" bash "$script" "$@" 2>&1 < "${stdin:-/dev/null}") ||
        failed "$what: sign.sh failed: $output"
}

# The CA, a code-signing certificate, and the wrong ones.
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 \
    -subj "/CN=Throwaway Test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign" 2>/dev/null
issue() {  # issue NAME DAYS EKU [KEY]: a certificate for KEY (NAME.key unless told)
    local key=${4:-$1.key}
    [ -f "$key" ] || openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$key" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" > "$1.ext"
    openssl req -new -key "$key" -subj "/CN=Acme Publisher $1" 2>/dev/null |
        openssl x509 -req -CA ca.pem -CAkey ca.key -set_serial "0x$(openssl rand -hex 8)" \
            -days "$2" -extfile "$1.ext" -out "$1.pem" 2>/dev/null
    cat "$1.pem" ca.pem > "$1.chain.pem"
}
issue good 30 codeSigning
issue expired -1 codeSigning good.key
issue server 30 serverAuth good.key
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out other.key 2>/dev/null
printf 'correct horse\n' > password
printf 'wrong horse\n' > wrong
openssl pkcs12 -export -in good.pem -inkey good.key -certfile ca.pem -passout file:password -out good.p12
openssl pkey -in good.key -aes256 -passout file:password -out encrypted.key
printf 'Acme Widgets\r\n' > setup.inf
cp "$unsigned" unsigned.exe

# The PEM route, the signing time from the environment.
epoch=1700000000
sign "the PEM route" SOURCE_DATE_EPOCH=$epoch -- --cert good.chain.pem --key good.key \
    --description "Acme Widgets Setup" --url https://acme.example/widgets unsigned.exe pem.exe
cmp -s unsigned.exe "$unsigned" || failed "signing changed its input"
osslsigncode verify -CAfile ca.pem -in pem.exe > verify.txt 2>&1 || failed "the signed file does not verify: $(cat verify.txt)"
for want in "Signature verification: ok" "Message digest algorithm  : SHA256" \
            "Text description: Acme Widgets Setup" "URL description: https://acme.example/widgets" \
            "Signing time: $(date -u -d "@$epoch" '+%b %e %T %Y') GMT"; do
    grep -qF "$want" verify.txt || failed "verify does not print '$want'"
done
# The certificate table is the last thing in the file, and the checksum
# field holds the sum of the signed file.
grep -q "PE checksum *: [0-9A-F]*$" verify.txt && ! grep -qi "calculated PE checksum" verify.txt ||
    failed "the signed file's PE checksum is wrong: $(grep -i checksum verify.txt)"

sign "signing again" SOURCE_DATE_EPOCH=$epoch -- --cert good.chain.pem --key good.key \
    --description "Acme Widgets Setup" --url https://acme.example/widgets unsigned.exe again.exe
cmp -s pem.exe again.exe || failed "signing twice gave different files"

osslsigncode remove-signature -in pem.exe -out removed.exe >/dev/null 2>&1 || failed "cannot remove the signature"
cmp -s removed.exe "$unsigned" || failed "removing the signature does not give back the unsigned build"

if cp pem.exe flipped.exe; then
    byte=$(od -An -tu1 -j 1024 -N1 flipped.exe | tr -d ' ')
    printf "\\$(printf %03o $((byte ^ 1)))" | dd of=flipped.exe bs=1 seek=1024 conv=notrunc status=none
    ! osslsigncode verify -CAfile ca.pem -in flipped.exe >/dev/null 2>&1 || failed "a flipped byte still verifies"
fi

# The PKCS#12 route, the password from a file and from standard input; the
# signing time, unless told, is the last commit's.
commit_time=$(git -C "$(dirname "$script")" log -1 --format=%ct)
sign "the PKCS#12 route" -u SOURCE_DATE_EPOCH -- --pkcs12 good.p12 --password-file password unsigned.exe p12.exe
stdin=password sign "the password on standard input" -u SOURCE_DATE_EPOCH -- \
    --pkcs12 good.p12 --password-file - unsigned.exe stdin.exe
cmp -s p12.exe stdin.exe || failed "the password from standard input gave another file"
osslsigncode verify -CAfile ca.pem -in p12.exe > verify.txt 2>&1 || failed "the PKCS#12 route does not verify: $(cat verify.txt)"
grep -qF "Signing time: $(date -u -d "@$commit_time" '+%b %e %T %Y') GMT" verify.txt ||
    failed "the signing time is not the last commit's: $(grep 'Signing time' verify.txt)"

# An encrypted PEM key, and no password anywhere on a command line: the
# tools are run through stand-ins that record their arguments.
mkdir shims
for tool in openssl osslsigncode; do
    printf '#!/bin/sh\necho "$0 $*" >> %q/argv\nexec %q "$@"\n' "$scratch" "$(command -v $tool)" > shims/$tool
    chmod +x shims/$tool
done
stdin=password sign "an encrypted PEM key" PATH=$scratch/shims:$PATH -- --cert good.chain.pem \
    --key encrypted.key --password-file - unsigned.exe encrypted.exe
osslsigncode verify -CAfile ca.pem -in encrypted.exe >/dev/null 2>&1 || failed "an encrypted PEM key does not sign"
grep -q osslsigncode argv 2>/dev/null || failed "the stand-ins recorded nothing"
! grep -q horse argv || failed "the password went on a command line: $(grep horse argv)"

# Bad input: each case's message, a non-zero status, the input unchanged
# and no output, nor anything left beside it.
cp pem.exe signed.exe || true
head -c 100 unsigned.exe > cut.exe
{ printf 'M\0'; tail -c +3 unsigned.exe; } > nul.exe
mkdir folder.key
tried=0 behaved=0
refuse() {  # refuse NAME MESSAGE-FRAGMENT INPUT [OPTIONS...], standard input from $stdin
    local name=$1 want=$2 input=$3 status=0 output before
    shift 3
    before=$({ sha256sum < "$input"; } 2>/dev/null || true)
    rm -rf out && mkdir out
    output=$(SOURCE_DATE_EPOCH=$epoch bash "$script" "$@" "$input" out/setup.exe 2>&1 < "${stdin:-/dev/null}") || status=$?
    tried=$((tried + 1))
    if [ "$status" = 0 ] || [[ "$output" != *"$want"* ]] || [ -n "$(ls -A out)" ] ||
       [ "$before" != "$({ sha256sum < "$input"; } 2>/dev/null || true)" ]; then
        failed "$name: status $status, printed '$output', left '$(ls -A out)'" \
               "(expected non-zero, '$want', nothing, the input unchanged)"
    else
        behaved=$((behaved + 1))
    fi
}
pem=(--cert good.chain.pem --key good.key)
p12=(--pkcs12 good.p12 --password-file password)
refuse "missing key" "cannot read the key file missing.key" unsigned.exe --cert good.chain.pem --key missing.key
refuse "key is a folder" "cannot read the key file folder.key" unsigned.exe --cert good.chain.pem --key folder.key
refuse "missing certificate" "cannot read the certificate file missing.pem" unsigned.exe --cert missing.pem --key good.key
refuse "missing PKCS#12" "cannot read the PKCS#12 file missing.p12" unsigned.exe --pkcs12 missing.p12 --password-file password
refuse "missing password file" "cannot read the password file missing" unsigned.exe --pkcs12 good.p12 --password-file missing
refuse "not a PKCS#12 file" "good.pem is not a PKCS#12 file" unsigned.exe --pkcs12 good.pem --password-file password
refuse "no certificate" "no certificate in the certificate file good.key" unsigned.exe --cert good.key --key good.key
refuse "not a key" "good.pem is not a private key" unsigned.exe --cert good.chain.pem --key good.pem
refuse "wrong PKCS#12 password" "wrong password for the PKCS#12 file good.p12" unsigned.exe --pkcs12 good.p12 --password-file wrong
stdin=wrong refuse "wrong password on standard input" "wrong password for the PKCS#12 file" unsigned.exe --pkcs12 good.p12 --password-file -
refuse "wrong key password" "wrong password for the key encrypted.key" unsigned.exe --cert good.chain.pem --key encrypted.key --password-file wrong
refuse "key of another certificate" "the key does not match the certificate (CN = Acme Publisher good)" unsigned.exe --cert good.chain.pem --key other.key
refuse "no code-signing usage" "(CN = Acme Publisher server) is not for code signing" unsigned.exe --cert server.chain.pem --key good.key
refuse "expired certificate" "(CN = Acme Publisher expired) expired on" unsigned.exe --cert expired.chain.pem --key good.key
refuse "not a PE file" "setup.inf is not a PE file" setup.inf "${pem[@]}"
refuse "NUL for Z" "nul.exe is not a PE file (no MZ header)" nul.exe "${pem[@]}"
refuse "PE header cut off" "cut.exe is not a PE file" cut.exe "${pem[@]}"
refuse "signed already" "signed.exe is signed already" signed.exe "${p12[@]}"
refuse "missing input" "cannot read the input missing.exe" missing.exe "${pem[@]}"
refuse "both key routes" "either --pkcs12 or --cert" unsigned.exe "${pem[@]}" "${p12[@]}"
refuse "time-stamp server unreachable" "time-stamp server http://127.0.0.1:9/ did not answer" \
    unsigned.exe "${pem[@]}" --timestamp http://127.0.0.1:9/
echo "signing bad inputs: $tried tried, $behaved behaved"

# An earlier OUT stays as it was when signing fails, and is replaced when
# it works.
echo earlier > kept.exe
SOURCE_DATE_EPOCH=$epoch bash "$script" "${pem[@]/good.chain/expired.chain}" unsigned.exe kept.exe >/dev/null 2>&1 &&
    failed "signing with an expired certificate worked"
[ "$(cat kept.exe)" = earlier ] || failed "a failed signing changed the earlier output"
sign "signing over an earlier output" SOURCE_DATE_EPOCH=$epoch -- --cert good.chain.pem --key good.key \
    --description "Acme Widgets Setup" --url https://acme.example/widgets unsigned.exe kept.exe
cmp -s kept.exe pem.exe || failed "signing over an earlier output did not replace it"

if [ -n "$signed_out" ]; then
    mkdir -p "$(dirname "$signed_out")"
    cp pem.exe "$signed_out" || true
fi
[ "$failures" = 0 ] || { echo "sign: $failures checks failed"; exit 1; }
