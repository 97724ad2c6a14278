#!/usr/bin/env bash
# Lists Debian 12's backports suite for apt, from the archive the machine
# already uses, unless it is listed already. The archive may be listed in
# one-line entries (/etc/apt/sources.list and sources.list.d/*.list, as the
# installer and debootstrap write them) or in deb822 sources.list.d/*.sources
# files. Safe to run again.
#   bash scripts/backports.sh [APT_DIR]    (/etc/apt unless told)
set -euo pipefail

apt=${1:-/etc/apt}
out=$apt/sources.list.d/bookworm-backports.sources

source "$(dirname "$0")/archive.sh"

if uri=$(find_archive "$apt" bookworm-backports); then
    echo "setup: bookworm-backports is listed already ($uri)"
    exit 0
fi
if ! uri=$(find_archive "$apt" bookworm); then
    echo "setup: found no Debian 12 (bookworm) archive in $apt/sources.list," \
         "$apt/sources.list.d/*.list or *.sources; list one, for example" \
         "'deb http://deb.debian.org/debian bookworm main' in $apt/sources.list," \
         "and run again" >&2
    exit 1
fi
cat > "$out" <<EOF
Types: deb
URIs: $uri
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
echo "setup: listing bookworm-backports from $uri in $out"
