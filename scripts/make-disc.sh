#!/usr/bin/env bash
# Makes a disc image of an install folder: ISO 9660 with Joliet, whose names
# Windows shows, and Rock Ridge, plus an autorun.inf unless the folder brings
# its own. The folder is checked first and refused if it has errors. The
# image's times are SOURCE_DATE_EPOCH, or else the last commit's time, so
# that one folder always makes the same bytes.
#
# The volume label is at most 16 of the characters A-Z 0-9 _: all that fits
# both ISO 9660's volume identifier (32 d-characters) and Joliet's (16
# characters), the same in both. Without a label given, it is made from the
# product name: upper-cased, each run of other characters made one _, no _
# at either end, cut to 16.
set -euo pipefail

usage() { echo "usage: $0 FOLDER OUT.iso [LABEL]" >&2; exit 2; }
[ $# = 2 ] || [ $# = 3 ] || usage
dir=${1%/} out=$2 label=${3-}
[ -d "$dir" ] || { echo "make-disc: no such folder: $1" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)

LABEL_MAX=16        # Joliet's volume identifier, in UCS-2 characters
JOLIET_NAME_MAX=64  # Joliet's limit for a name, in UCS-2 characters
PROMPT_START="Do you wish to install "

fail() { echo "make-disc: $*" >&2; exit 1; }

echo "make-disc: checking $dir"
status=0
report=$(bash "$here/check-folder.sh" "$dir") || status=$?
printf '%s\n' "$report"
[ "$status" = 0 ] || fail "$dir has errors (above); no disc written"

# Names Joliet cannot hold, which Windows would see changed or not at all.
bad=0
while IFS= read -r -d '' path; do
    name=${path##*/}
    if ! units=$(printf '%s' "$name" | iconv -f UTF-8 -t UCS-2LE 2>/dev/null | wc -c); then
        echo "make-disc: $path: not a UTF-8 name of characters that Joliet holds" >&2; bad=1
    elif [ $((units / 2)) -gt "$JOLIET_NAME_MAX" ]; then
        echo "make-disc: $path: $((units / 2)) characters; a Joliet name holds at most $JOLIET_NAME_MAX" >&2; bad=1
    fi
    case $name in
        *[*:\;?\\]*) echo "make-disc: $path: Joliet forbids the characters * / : ; ? \\ in names" >&2; bad=1 ;;
    esac
done < <(find "$dir" -mindepth 1 -printf '%P\0')
[ "$bad" = 0 ] || fail "$dir has names that Joliet cannot hold (above); no disc written"

if [ $# = 2 ]; then
    product=$(printf '%s\n' "$report" | tail -n 1)
    product=${product#"$PROMPT_START"}
    label=$(printf '%s' "${product%\?}" | LC_ALL=C tr a-z A-Z | LC_ALL=C tr -cs A-Z0-9 _)
    label=${label#_}
    label=${label:0:LABEL_MAX}
    label=${label%_}
    label=${label:-SETUP}
elif ! [[ $label =~ ^[A-Z0-9_]{1,$LABEL_MAX}$ ]]; then
    fail "label '$label': a volume label is 1 to $LABEL_MAX of the characters A-Z 0-9 _ (ISO 9660 takes 32 of them, Joliet $LABEL_MAX); no disc written"
fi

source "$here/release-time.sh"
epoch=$(release_time) || fail "no time for the image: set SOURCE_DATE_EPOCH (not in a git work tree)"
stamp=$(date -u -d "@$epoch" +%Y%m%d%H%M%S00)

out_dir=$(dirname "$out")
[ -d "$out_dir" ] || fail "no such folder for the image: $out_dir"
[ ! -d "$out" ] || fail "$out is a folder; name the image file"
tmp=$(mktemp "$out.XXXXXX")
extra=$(mktemp -d)
trap 'rm -rf "$tmp" "$extra"' EXIT

if [ -z "$(find "$dir" -mindepth 1 -maxdepth 1 -iname autorun.inf)" ]; then
    printf '[autorun]\r\nopen=setup.exe\r\nicon=setup.exe,0\r\nlabel=%s\r\n' "$label" > "$extra/autorun.inf"
fi

echo "make-disc: writing $out, label $label"
# Plain Joliet (no -joliet-long), within the limit every Windows reads; -r
# records owners as root and modes as readable, whoever made the folder.
if ! log=$(SOURCE_DATE_EPOCH=$epoch LC_ALL=C.UTF-8 xorriso -as mkisofs -quiet \
        -o "$tmp" -r -J -V "$label" \
        --modification-date="$stamp" --set_all_file_dates "$stamp" \
        "$dir" "$extra" 2>&1); then
    printf '%s\n' "$log" >&2
    fail "xorriso could not write the image; no disc written"
fi
chmod 644 "$tmp"
mv -f "$tmp" "$out"
