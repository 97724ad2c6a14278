#!/usr/bin/env bash
# scripts/backports.sh against scratch folders standing in for /etc/apt:
# each way a Debian 12 machine may list its archive, and none at all.
set -euo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/backports.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
tried=0 failed=0

# check NAME STATUS OUTPUT-PATTERN WRITTEN-URI, after the case's files are
# in $apt: the script's exit status, what it printed, and the address in
# the backports entry it wrote ("" when it must write none).
check() {
    local name=$1 want_status=$2 want_output=$3 want_uri=$4 status=0 output uri=""
    output=$(bash "$script" "$apt" 2>&1) || status=$?
    [ -f "$apt/sources.list.d/bookworm-backports.sources" ] &&
        uri=$(sed -n 's/^URIs: //p' "$apt/sources.list.d/bookworm-backports.sources")
    tried=$((tried + 1))
    if [ "$status" != "$want_status" ] || [[ "$output" != $want_output ]] || [ "$uri" != "$want_uri" ]; then
        failed=$((failed + 1))
        echo "FAILED: $name: status $status, printed '$output', wrote '$uri'" \
             "(expected $want_status, '$want_output', '$want_uri')"
    fi
}

fresh() { apt=$scratch/$1; mkdir -p "$apt/sources.list.d"; }

fresh installer  # what the Debian 12 installer writes
cat > "$apt/sources.list" <<'LIST'
#deb cdrom:[Debian GNU/Linux 12.5.0 _Bookworm_ - Official amd64 NETINST]/ bookworm main

deb http://ftp.de.debian.org/debian/ bookworm main non-free-firmware
deb-src http://ftp.de.debian.org/debian/ bookworm main non-free-firmware

deb http://security.debian.org/debian-security bookworm-security main
deb http://ftp.de.debian.org/debian/ bookworm-updates main
LIST
check "one-line sources.list" 0 "setup: listing bookworm-backports from http://ftp.de.debian.org/debian/ in *" \
      http://ftp.de.debian.org/debian/
check "run again: listed already" 0 "setup: bookworm-backports is listed already*" \
      http://ftp.de.debian.org/debian/

fresh debootstrap  # one line, with options, after an entry from a disc
cat > "$apt/sources.list" <<'LIST'
deb cdrom:[Debian GNU/Linux 12]/ bookworm main
deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://mirror.example/debian bookworm main # local
LIST
check "options and a disc entry" 0 "setup: listing *" http://mirror.example/debian

fresh dotlist
cat > "$apt/sources.list.d/mirror.list" <<'LIST'
deb https://deb.example.org/debian bookworm main contrib
LIST
check "a .list file" 0 "setup: listing *" https://deb.example.org/debian

fresh deb822  # what cloud images write
cat > "$apt/sources.list.d/debian.sources" <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main

Types: deb-src
URIs: http://src.example/debian
Suites: bookworm
Components: main

Types: deb
Enabled: no
URIs: http://disabled.example/debian
Suites: bookworm
Components: main

Types: deb
# http://snapshot.debian.org/archive/debian/20250520T000000Z
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
check "deb822 .sources" 0 "setup: listing *" http://deb.debian.org/debian

fresh listed  # backports listed by the machine's owner, the classic way
echo "deb http://a.example/debian bookworm main" > "$apt/sources.list"
echo "deb http://a.example/debian bookworm-backports main" > "$apt/sources.list.d/backports.list"
check "backports in a .list file" 0 "setup: bookworm-backports is listed already (http://a.example/debian)" ""

fresh other  # another release's archive only
echo "deb http://deb.debian.org/debian trixie main" > "$apt/sources.list"
check "no bookworm entry" 1 "setup: found no Debian 12 (bookworm) archive in *; list one*" ""

fresh nothing
check "nothing listed" 1 "setup: found no Debian 12 (bookworm) archive in *" ""

echo "apt archive choices: $tried tried, $((tried - failed)) behaved"
[ "$failed" = 0 ]
