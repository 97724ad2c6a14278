#!/usr/bin/env bash
# scripts/check-folder.sh against install folders with one fault each.
# Usage: check_folder_test.sh BUILD-FOLDER (where setup.exe and
# fakestage.exe are, the stand-ins for real Windows programs).
set -euo pipefail
build=$(cd "$1" && pwd)
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-folder.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
tried=0 failed=0
prompt="Do you wish to install"
nl=$'\n' cr=$'\r'

# check NAME STATUS OUTPUT-PATTERN [ARGUMENTS...], after the case's files are
# in $folder: the exit status, and all that the check printed against a glob
# pattern (a fragment between stars, or the exact output).
check() {
    local name=$1 want_status=$2 want_output=$3 status=0 output
    shift 3
    [ $# = 0 ] && set -- "$folder"
    [ "$1" = "(none)" ] && set --
    output=$(bash "$script" "$@" 2>&1) || status=$?
    tried=$((tried + 1))
    if [ "$status" != "$want_status" ] || [[ "$output" != $want_output ]]; then
        failed=$((failed + 1))
        echo "FAILED: $name: status $status, printed:$nl$output${nl}expected $want_status, '$want_output'"
    fi
}

# A good folder, with setup.inf holding the bytes given.
fresh() {
    folder=$scratch/$((tried + 1))
    mkdir -p "$folder"
    cp "$build/setup.exe" "$folder/"
    cp "$build/fakestage.exe" "$folder/VBRun60sp5.exe"
    cp "$build/fakestage.exe" "$folder/phase2.exe"
    printf "${1-Acme Widgets\r\nversion=2\r\n}" > "$folder/setup.inf"
}

# Overwrites bytes of FILE at OFFSET with those printf makes of FORMAT.
patch() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
pe_offset() { od -An -j 60 -N 4 -tu4 --endian=little "$1" | tr -d ' '; }

fresh
check "good folder: the prompt only" 0 "$prompt Acme Widgets?"

for stage in setup.exe setup.inf VBRun60sp5.exe phase2.exe; do
    fresh; rm "$folder/$stage"
    check "$stage missing" 1 "*error: $stage is missing*"
done
fresh; rm "$folder/phase2.exe"; mkdir "$folder/phase2.exe"
check "a stage that is a folder" 1 "*error: phase2.exe is not a file*"

fresh; mv "$folder/setup.inf" "$folder/SETUP.INF"; mv "$folder/phase2.exe" "$folder/PHASE2.EXE"
check "names in another case count as present" 0 "$prompt Acme Widgets?"
fresh 'Acme\0Widgets\r\n'; mv "$folder/setup.inf" "$folder/Setup.INF"
check "messages name setup.inf as it is spelt" 0 "warning: a NUL byte at byte 5 of the first line of Setup.INF ends the name*"
fresh; printf 'Other\r\n' > "$folder/Setup.inf"
check "case-only duplicates" 1 "*error: names that differ only in case*Setup.inf, setup.inf*"
fresh; mkdir "$folder/Data" "$folder/data"
check "case-only duplicate folders" 1 "*error: names that differ only in case*Data, data*"

fresh; echo '@echo off' > "$folder/VBRun60sp5.exe"
check "a stage that is a text file" 1 "*error: VBRun60sp5.exe is not a Windows program: it does not start with the MZ header*"
fresh; : > "$folder/phase2.exe"
check "an empty stage" 1 "*error: phase2.exe is not a Windows program: it does not start with the MZ header*"
fresh; echo 'MZ' > "$folder/setup.exe"
check "setup.exe cut short" 1 "*error: setup.exe is not a Windows program: no PE signature*"
fresh; patch "$folder/phase2.exe" "$(pe_offset "$folder/phase2.exe")" 'NE\0\0'
check "an MZ file without the PE signature" 1 "*error: phase2.exe is not a Windows program: no PE signature at offset*"
fresh; patch "$folder/phase2.exe" $(($(pe_offset "$folder/phase2.exe") + 24)) '\7\1'
check "a PE with an unknown optional header" 1 "*error: phase2.exe is not a Windows program: its PE optional header*"
fresh; patch "$folder/phase2.exe" $(($(pe_offset "$folder/phase2.exe") + 24)) '\13\2'
check "a 64-bit PE is a program" 0 "$prompt Acme Widgets?"

fresh '\377\376A\0c\0m\0e\0\r\0\n\0'
check "UTF-16 with FF FE" 1 "*error: setup.inf is UTF-16 text with the byte order mark FF FE*"
fresh '\376\377\0A\0c\0m\0e\0\r\0\n'
check "UTF-16 with FE FF" 1 "*error: setup.inf is UTF-16 text with the byte order mark FE FF*"
fresh 'A\0c\0m\0e\0 \0W\0i\0d\0g\0e\0t\0s\0\r\0\n\0'
check "UTF-16 without a byte order mark" 1 "*error: setup.inf is UTF-16 text without a byte order mark*$prompt A?"

for inf in '' '\r\nAcme\r\n' '\32Acme\r\n' '\nAcme' '\0Acme\r\n'; do
    fresh "$inf"
    check "empty name from '$inf'" 1 "*error: setup.inf gives an empty name*$prompt ?"
done

w253=$(printf '%253s' '' | tr ' ' W)
fresh "%0300d\r\n"
check "300-byte line" 0 "warning: the first line of setup.inf is 300 bytes long: setup.exe cuts it at byte 254, losing the last 46 bytes: \"0000000000000000000000000000000000000000...\"$nl$prompt $(printf '%0254d' 0)?"
fresh "%070000d\r\nversion=2\r\n"
check "a line of 70000 bytes" 0 "warning: the first line of setup.inf is 70000 bytes long: setup.exe cuts it at byte 254, losing the last 69746 bytes: *"
fresh "${w253}\r\n"
check "253 bytes and CR LF: the LF is the 254th byte" 0 "$prompt $w253?"
fresh "${w253}X\r\n"
check "254 bytes and CR LF: the LF is not read" 0 "$prompt ${w253}X?"
fresh "${w253}XY\n"
check "255 bytes" 0 "*cuts it at byte 254, losing the last 1 bytes: \"Y\"$nl$prompt ${w253}X?"
fresh "${w253}\rX\r\n"
check "a CR as the 254th byte" 0 "*cuts it at byte 254, losing the last 1 bytes: \"X\"*CR) without a line feed at byte 254*"

fresh '\357\273\277Acme\r\n'
check "UTF-8 byte order mark" 0 "warning: setup.inf starts with a UTF-8 byte order mark: setup.exe shows it as three odd characters*$prompt $(printf '\357\273\277')Acme?"
fresh 'Acme\0Widgets\r\nmore\r\n'
check "NUL inside" 0 "warning: a NUL byte at byte 5 of the first line of setup.inf ends the name there, losing the 7 bytes after it: \"Widgets\"$nl$prompt Acme?"
fresh 'Acme\32Wid\0gets\r\n'
check "0x1A inside" 0 "warning: the byte 0x1A at byte 5 *ends the text there*losing the 8 bytes after it: \"Wid\\\\0gets\"$nl$prompt Acme?"
fresh 'Acme\rWidgets\r\n'
check "a lone CR inside" 0 "warning: a carriage return (CR) without a line feed at byte 5 of setup.inf stays in the name$nl$prompt Acme${cr}Widgets?"
fresh 'Caf\303\251\r\n'
check "UTF-8 letters" 0 "warning: the name has non-ASCII characters in UTF-8*$prompt Caf$(printf '\303\251')?"
fresh 'Caf\351\r\n'
check "a byte of an ANSI code page" 0 "note: the name has non-ASCII bytes*ANSI code page of the user's system*"

check "no folder named" 2 "usage: *" "(none)"
check "two folders named" 2 "usage: *" a b
check "no such folder" 2 "check-folder: no such folder: $scratch/none" "$scratch/none"
fresh; rm "$folder/setup.inf"
check "missing setup.inf: what setup.exe says instead" 1 "*setup.inf is missing*Cannot open setup.inf"

echo "folder checks: $tried tried, $((tried - failed)) behaved"
[ "$failed" = 0 ]
