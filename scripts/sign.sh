#!/usr/bin/env bash
# Signs a PE file with Authenticode (SHA-256) through osslsigncode. The
# signing time is the last commit's (or SOURCE_DATE_EPOCH), so the same
# inputs give the same bytes. OUT is written only when everything worked.
#   bash scripts/sign.sh (--pkcs12 FILE | --cert CHAIN.pem --key KEY.pem)
#        [--password-file FILE|-] [--description TEXT] [--url URL]
#        [--timestamp URL] IN OUT
# The password is read from the file (or standard input for -) and never
# goes on a command line.
set -euo pipefail

usage="usage: sign.sh (--pkcs12 FILE | --cert CHAIN.pem --key KEY.pem) [--password-file FILE|-] [--description TEXT] [--url URL] [--timestamp URL] IN OUT"
fail() { echo "sign: $*" >&2; exit 1; }

pkcs12="" cert="" key="" password_file="" description="" url="" timestamp=""
args=()
while [ $# -gt 0 ]; do
    case $1 in
        --pkcs12|--cert|--key|--password-file|--description|--url|--timestamp)
            [ $# -ge 2 ] || fail "$1 needs a value; $usage"
            case $1 in
                --pkcs12) pkcs12=$2 ;;
                --cert) cert=$2 ;;
                --key) key=$2 ;;
                --password-file) password_file=$2 ;;
                --description) description=$2 ;;
                --url) url=$2 ;;
                --timestamp) timestamp=$2 ;;
            esac
            shift 2 ;;
        --) shift; args+=("$@"); break ;;
        -*) fail "unknown option $1; $usage" ;;
        *) args+=("$1"); shift ;;
    esac
done
[ ${#args[@]} -eq 2 ] || fail "$usage"
in=${args[0]} out=${args[1]}
if [ -n "$pkcs12" ]; then
    [ -z "$cert$key" ] || fail "give either --pkcs12 or --cert and --key, not both"
else
    [ -n "$cert" ] && [ -n "$key" ] || fail "give --pkcs12, or --cert and --key; $usage"
fi

readable() { [ -r "$2" ] && [ ! -d "$2" ] || fail "cannot read the $1 $2"; }
for pair in "pkcs12:PKCS#12 file" "cert:certificate file" "key:key file"; do
    name=${pair%%:*}
    [ -z "${!name}" ] || readable "${pair#*:}" "${!name}"
done
[ -z "$password_file" ] || [ "$password_file" = - ] || readable "password file" "$password_file"
readable "input" "$in"
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (bash scripts/setup.sh installs it)"

source "$(dirname "$0")/release-time.sh"
epoch=$(release_time) ||
    fail "no signing time: set SOURCE_DATE_EPOCH to a Unix time in seconds (outside a git work tree there is no commit time)"

# The input: a PE image (MZ, then PE\0\0 where e_lfanew points) with an empty
# certificate table, the fifth data directory.
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
u16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }
size=$(stat -c %s "$in")
[ "$size" -ge 64 ] && [ "$(od -An -c -N2 "$in" | tr -d ' ')" = MZ ] || fail "$in is not a PE file (no MZ header)"
pe=$(u32 "$in" 60)
[ "$pe" -le $((size - 24)) ] && [ "$(od -An -c -j "$pe" -N4 "$in" | tr -d ' ')" = 'PE\0\0' ] ||
    fail "$in is not a PE file (no PE header)"
case $(u16 "$in" $((pe + 24))) in
    267) directories=$((pe + 24 + 96)) ;;   # PE32
    523) directories=$((pe + 24 + 112)) ;;  # PE32+
    *) fail "$in is not a PE image (unknown optional header)" ;;
esac
[ $((directories + 40)) -le "$size" ] || fail "$in is not a PE image (headers cut short)"
[ "$(u32 "$in" $((directories + 36)))" = 0 ] ||
    fail "$in is signed already; sign the unsigned build (osslsigncode remove-signature gives it back)"

# Private scratch for the password and the public certificates; the signed
# file is made beside OUT, so that moving it into place is one rename.
out_dir=$(dirname "$out")
[ -d "$out_dir" ] && [ -w "$out_dir" ] || fail "cannot write to the folder $out_dir"
[ ! -d "$out" ] || fail "$out is a folder; name the signed file"
scratch=$(mktemp -d)
staging=$(mktemp -d "$out_dir/.sign.XXXXXX")
trap 'rm -rf "$scratch" "$staging"' EXIT
trap 'exit 1' INT TERM HUP

password=$scratch/password
if [ "$password_file" = - ]; then
    (umask 077; cat > "$password")
elif [ -n "$password_file" ]; then
    password=$password_file
else
    echo > "$password"  # no password: an empty one
fi

# Tells a wrong password from a file that is not what it should be, by
# OpenSSL's own words on standard error.
openssl_failed() {
    if grep -qiE 'invalid password|bad decrypt|mac verify|wrong password' "$scratch/err"; then
        fail "wrong password for the $1"
    fi
    fail "$2"
}

chain=$scratch/chain.pem
if [ -n "$pkcs12" ]; then
    p12() { openssl pkcs12 -in "$pkcs12" -passin "file:$password" "$@" 2>"$scratch/err" ||
            openssl pkcs12 -legacy -in "$pkcs12" -passin "file:$password" "$@" 2>>"$scratch/err"; }
    p12 -nokeys -out "$chain" ||
        openssl_failed "PKCS#12 file $pkcs12" "$pkcs12 is not a PKCS#12 file"
    # The signer's certificate is the one marked as the key's.
    p12 -nokeys -clcerts -out "$scratch/signer.pem" || true
    p12 -nocerts -nodes | openssl pkey -pubout > "$scratch/key.pub" 2>/dev/null ||
        fail "$pkcs12 holds no private key"
    signer_of="PKCS#12 file $pkcs12"
    sign_with=(-pkcs12 "$pkcs12")
else
    openssl pkey -in "$key" -passin "file:$password" -pubout -out "$scratch/key.pub" 2>"$scratch/err" ||
        openssl_failed "key $key" "$key is not a private key (or its password is wrong)"
    cp "$cert" "$chain"
    # The signer's certificate comes first: the chain follows it.
    openssl x509 -in "$chain" -out "$scratch/signer.pem" 2>/dev/null || true
    signer_of="certificate file $cert"
    sign_with=(-certs "$cert" -key "$key")
fi

[ -s "$scratch/signer.pem" ] && openssl x509 -in "$scratch/signer.pem" -noout 2>/dev/null ||
    fail "no certificate in the $signer_of"
openssl x509 -in "$scratch/signer.pem" -noout -pubkey > "$scratch/cert.pub"
subject=$(openssl x509 -in "$scratch/signer.pem" -noout -subject -nameopt oneline | sed 's/^subject=//')
cmp -s "$scratch/key.pub" "$scratch/cert.pub" ||
    fail "the key does not match the certificate ($subject) in the $signer_of"
openssl x509 -in "$scratch/signer.pem" -noout -checkend 0 >/dev/null ||
    fail "the certificate ($subject) expired on $(openssl x509 -in "$scratch/signer.pem" -noout -enddate | cut -d= -f2)"
openssl x509 -in "$scratch/signer.pem" -noout -ext extendedKeyUsage 2>/dev/null | grep -q 'Code Signing' ||
    fail "the certificate ($subject) is not for code signing (its extended key usage lacks codeSigning)"

options=(-h sha256 -time "$epoch" -readpass "$password")
[ -z "$description" ] || options+=(-n "$description")
[ -z "$url" ] || options+=(-i "$url")
[ -z "$timestamp" ] || options+=(-ts "$timestamp")
[ -z "$timestamp" ] || echo "sign: asking $timestamp for a time-stamp"
signed=$staging/signed
if ! osslsigncode sign "${sign_with[@]}" "${options[@]}" -in "$in" -out "$signed" >"$scratch/err" 2>&1; then
    if [ -n "$timestamp" ] && grep -qiE 'timestamp|HTTP' "$scratch/err"; then
        fail "the time-stamp server $timestamp did not answer with a time-stamp; nothing written"
    fi
    fail "osslsigncode could not sign $in: $(grep -v '^[0-9A-F]*:error:' "$scratch/err" | tr '\n' ' ')"
fi

# Checks the signature over the new file, up to the roots the system trusts
# or the chain's own.
cat "$chain" /etc/ssl/certs/ca-certificates.crt > "$scratch/trusted.pem" 2>/dev/null || true
osslsigncode verify -CAfile "$scratch/trusted.pem" -in "$signed" >"$scratch/err" 2>&1 ||
    fail "the signed file does not verify (is the chain complete up to a root?): $(grep -iE 'error|fail' "$scratch/err" | head -3 | tr '\n' ' ')"
mv -f "$signed" "$out"
echo "sign: signed $in as $out ($subject, signing time $(date -u -d "@$epoch" '+%F %T') UTC)"
