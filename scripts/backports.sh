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

# Prints the address of the first enabled binary-package entry for a suite.
find_archive() {
    local suite=$1 lists=() stanzas=()
    for f in "$apt/sources.list" "$apt"/sources.list.d/*.list; do
        if [ -f "$f" ]; then lists+=("$f"); fi
    done
    for f in "$apt"/sources.list.d/*.sources; do
        if [ -f "$f" ]; then stanzas+=("$f"); fi
    done

    # deb [options] URI SUITE COMPONENT...; a disc (cdrom:) is no archive.
    [ ${#lists[@]} -gt 0 ] && awk -v suite="$suite" '
        { sub(/#.*/, ""); gsub(/\[[^]]*\]/, "") }
        $1 == "deb" && $2 ~ /^https?:/ && $3 == suite { print $2; found = 1; exit }
        END { exit !found }' "${lists[@]}" && return
    # Stanzas of Field: value lines, separated by blank lines.
    [ ${#stanzas[@]} -gt 0 ] && awk -v suite="$suite" '
        BEGIN { RS = ""; FS = "\n" }
        {
            delete v
            for (i = 1; i <= NF; i++) {
                if ($i ~ /^#/ || !index($i, ":")) continue
                key = tolower(substr($i, 1, index($i, ":") - 1))
                v[key] = " " substr($i, index($i, ":") + 1) " "
            }
            split(v["uris"], uri, " ")
            if (v["types"] ~ / deb / && v["suites"] ~ " " suite " " \
                && tolower(v["enabled"]) !~ / no / && uri[1] ~ /^https?:/) {
                print uri[1]; found = 1; exit
            }
        }
        END { exit !found }' "${stanzas[@]}"
}

if uri=$(find_archive bookworm-backports); then
    echo "setup: bookworm-backports is listed already ($uri)"
    exit 0
fi
if ! uri=$(find_archive bookworm); then
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
