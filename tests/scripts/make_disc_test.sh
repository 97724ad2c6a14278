#!/usr/bin/env bash
# scripts/make-disc.sh against scratch install folders: the image read back
# through its Joliet tree as Windows reads it, the folders it refuses, the
# volume label, and the same bytes from the same folder.
# Usage: make_disc_test.sh BUILD-FOLDER (where setup.exe and fakestage.exe are).
set -euo pipefail
build=$(cd "$1" && pwd)
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/make-disc.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export SOURCE_DATE_EPOCH=1700000000  # 2023-11-14 22:13:20 UTC
tried=0 failed=0

fail() { failed=$((failed + 1)); echo "FAILED: $case: $*"; }

# A good install folder under $scratch/NAME.
fresh() {
    folder=$scratch/$1
    mkdir -p "$folder"
    cp "$build/setup.exe" "$folder/"
    cp "$build/fakestage.exe" "$folder/VBRun60sp5.exe"
    cp "$build/fakestage.exe" "$folder/phase2.exe"
    printf 'Acme Widgets\r\nversion=2\r\n' > "$folder/setup.inf"
}

# make_disc CASE STATUS OUTPUT-PATTERN [LABEL]: runs the script on $folder into
# $iso, checks its exit status and what it printed, and that the image is
# there exactly when it succeeded, with no temporary file left beside it.
make_disc() {
    case=$1
    local want_status=$2 want_output=$3 status=0
    shift 3
    iso=$scratch/$case.iso
    output=$(bash "$script" "$folder" "$iso" "$@" 2>&1) || status=$?
    tried=$((tried + 1))
    if [ "$status" != "$want_status" ] || [[ "$output" != $want_output ]]; then
        fail "status $status, printed:"$'\n'"$output"$'\n'"expected $want_status, '$want_output'"
    fi
    if { [ "$status" = 0 ] && [ ! -f "$iso" ]; } || { [ "$status" != 0 ] && [ -e "$iso" ]; }; then
        fail "status $status, but the image is $( [ -e "$iso" ] && echo there || echo missing)"
    fi
    if compgen -G "$iso.*" >/dev/null; then
        fail "left behind: $(echo "$iso".*)"
    fi
}

# The volume identifiers: the primary descriptor's in d-characters, and the
# Joliet descriptor's (a supplementary one with a UCS-2 escape) in UCS-2.
volume_ids() {
    local sector type escape
    printf '%s' "$(dd if="$iso" bs=2048 skip=16 count=1 status=none | head -c 72 | tail -c 32)" | sed 's/ *$//'
    echo
    for sector in 17 18 19 20; do
        type=$(od -An -j $((sector * 2048)) -N 1 -tu1 "$iso" | tr -d ' ')
        escape=$(dd if="$iso" bs=2048 skip="$sector" count=1 status=none | head -c 91 | tail -c 3)
        if [ "$type" = 2 ] && [[ $escape == %/[@CE] ]]; then
            dd if="$iso" bs=2048 skip="$sector" count=1 status=none | head -c 72 | tail -c 32 |
                iconv -f UCS-2BE -t UTF-8 | sed 's/ *$//'
            return
        fi
    done
    echo "(no Joliet descriptor)"
}

# The disc's Joliet tree, read as Windows reads it, holds exactly the files
# and folders of EXPECTED-FOLDER, under the same names, with the same bytes.
expect_disc() {
    local tree=$scratch/read-$tried
    LC_ALL=C.UTF-8 xorriso -read_fs norock -indev "$iso" -osirrox on -extract / "$tree" >/dev/null 2>&1 ||
        fail "could not read the Joliet tree back"
    if ! diff -r "$1" "$tree" >"$tree.diff" 2>&1; then
        fail "the Joliet tree differs from $1:"$'\n'"$(cat "$tree.diff")"
    fi
}

# A copy of the folder with the autorun.inf the script makes for LABEL.
with_autorun() {
    expected=$scratch/expected-$tried
    cp -r "$folder" "$expected"
    printf '[autorun]\r\nopen=setup.exe\r\nicon=setup.exe,0\r\nlabel=%s\r\n' "$1" > "$expected/autorun.inf"
}

# The sample folder, read back whole.
fresh sample
make_disc sample 0 "make-disc: checking *Do you wish to install Acme Widgets?*writing *, label ACME_WIDGETS"
with_autorun ACME_WIDGETS
expect_disc "$expected"
[ "$(volume_ids)" = $'ACME_WIDGETS\nACME_WIDGETS' ] || fail "volume ids: $(volume_ids)"
listing=$(TZ=UTC xorriso -indev "$iso" -lsl / 2>/dev/null)
[ "$(grep -c 'Nov 14  2023' <<<"$listing")" = 5 ] || fail "file times are not the pinned time:"$'\n'"$listing"

# Reproducible: a copy of the folder made later, with other times and
# inodes, gives the same bytes; another time gives other bytes.
first=$iso
cp -r "$folder" "$scratch/copy"
touch -d '2030-01-01' "$scratch/copy"/*
folder=$scratch/copy
make_disc again 0 "*"
cmp -s "$first" "$iso" || fail "two images of one folder differ"
SOURCE_DATE_EPOCH=1800000000 make_disc later 0 "*"
! cmp -s "$first" "$iso" || fail "the image ignores SOURCE_DATE_EPOCH"

# Names Joliet must keep whole: 64 characters, in any script.
fresh names
long=$(printf '%059d' 0)é.txt
touch "$folder/$long" "$folder/Ünïcødé ñame.txt"
mkdir "$folder/Sub Folder"
echo data > "$folder/Sub Folder/Read Me First.txt"
make_disc names 0 "*"
with_autorun ACME_WIDGETS
expect_disc "$expected"

# The folder's own autorun.inf, in any case, is kept as it is.
fresh own
printf '[AutoRun]\r\nopen=setup.exe /own\r\n' > "$folder/AUTORUN.INF"
make_disc own-autorun 0 "*"
expect_disc "$folder"

# Folders refused, and no image made.
fresh missing; rm "$folder/phase2.exe"
make_disc refused 1 "*error: phase2.exe is missing*has errors (above); no disc written"
fresh clash; touch "$folder/readme.txt" "$folder/README.TXT"
make_disc case-clash 1 "*error: names that differ only in case*README.TXT, readme.txt*no disc written"
for name in "$(printf '%061d' 0).txt" "$(printf '%060d' 0)ÿ.txt"; do
    fresh overlong; rm -f "$folder"/0*; touch "$folder/$name"
    make_disc overlong 1 "*$name: 65 characters; a Joliet name holds at most 64*no disc written"
done
for name in 'a;1.txt' 'what?.txt' 'star*.txt' 'c:d.txt' 'back\slash.txt'; do
    fresh forbidden; rm -f "$folder"/[a-z]*.txt; touch "$folder/$name"
    make_disc forbidden 1 "*${name//\\/\\\\}: Joliet forbids the characters*no disc written"
done

# The label: made from the product name, or given within the limits.
while IFS='|' read -r product label; do
    fresh label; printf '%s\r\n' "$product" > "$folder/setup.inf"
    make_disc label 0 "*, label $label"
    [ "$(volume_ids)" = "$label"$'\n'"$label" ] || fail "volume ids for '$product': $(volume_ids)"
    with_autorun "$label"
    expect_disc "$expected"
done <<'NAMES'
Acme Widgets 2.0|ACME_WIDGETS_2_0
  -- acme: widgets!! --|ACME_WIDGETS
Acme Widgets Pr X|ACME_WIDGETS_PR
Acme Widgets Professional Edition|ACME_WIDGETS_PRO
Café Tools|CAF_TOOLS
???|SETUP
NAMES
fresh given
make_disc label-given 0 "*, label MY_DISC_2026" MY_DISC_2026
[ "$(volume_ids)" = $'MY_DISC_2026\nMY_DISC_2026' ] || fail "volume ids: $(volume_ids)"
make_disc label-16 0 "*, label ABCDEFGHIJKLMNOP" ABCDEFGHIJKLMNOP
for label in ABCDEFGHIJKLMNOPQ my_disc 'MY DISC' 'MY-DISC' 'ÄPFEL' ''; do
    make_disc bad-label 1 "make-disc: checking*make-disc: label '$label': a volume label is 1 to 16 of the characters A-Z 0-9 _*" "$label"
done

status=0
bash "$script" "$folder" >/dev/null 2>&1 || status=$?
tried=$((tried + 1)); case=usage
[ "$status" = 2 ] || fail "one argument: status $status"

echo "disc images: $tried tried, $((tried - failed)) behaved"
[ "$failed" = 0 ]
