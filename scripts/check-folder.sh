#!/usr/bin/env bash
# Says what is wrong with an install folder before it ships, and prints the
# prompt that setup.exe will show from it. Exit status: 1 when there are
# errors, 0 with warnings only or none, 2 for bad usage.
#
# The name is derived as setup.exe derives it: setup.inf is read in text mode
# by the Microsoft C run-time (CR LF reads as LF, a lone CR stays, the first
# 0x1A ends the text), at most 254 bytes up to and including the first LF,
# and the name is those bytes up to the first NUL, without the LF.
set -euo pipefail
export LC_ALL=C

usage() { echo "usage: $0 FOLDER" >&2; exit 2; }
[ $# = 1 ] || usage
dir=${1%/}
[ -d "$dir" ] || { echo "check-folder: no such folder: $1" >&2; exit 2; }

LINE_MAX=254            # what setup.exe's fgets reads of the first line
SHOWN_MAX=40            # bytes of lost text quoted in a message
SCAN_MAX=65536          # bytes of the first line looked at
errors=0

error() { echo "error: $*"; errors=$((errors + 1)); }
warning() { echo "warning: $*"; }

# Windows compares names without regard to case, and a folder holds only one
# of two names that differ only in case.
while IFS= read -r clash; do
    error "names that differ only in case, of which Windows can hold only one: $clash"
done < <(find "$dir" -mindepth 1 -printf '%P\n' | sort -f | uniq -iD |
         awk '{ k = tolower($0) }
              k != prev && group != "" { print group; group = "" }
              { group = group == "" ? $0 : group ", " $0; prev = k }
              END { if (group != "") print group }')

# The folder's entry for NAME, found as Windows finds it.
entry() { find "$dir" -mindepth 1 -maxdepth 1 -iname "$1" -printf '%P\n' | sort | head -n 1; }

bytes() { od -An -v -tu1 "$@"; }

# A Windows program: the MZ header, and the PE signature at e_lfanew followed
# by a 32-bit or 64-bit optional header.
check_program() {
    local name=$1 path=$dir/$1 size lfanew=60 magic=""
    size=$(stat -c %s "$path")
    if [ "$(od -An -N 2 -tx1 "$path" | tr -d " ")" != 4d5a ]; then
        error "$name is not a Windows program: it does not start with the MZ header"
        return
    fi
    [ "$size" -ge 64 ] && lfanew=$(od -An -j 60 -N 4 -tu4 --endian=little "$path" | tr -d ' ')
    if [ "$size" -lt $((lfanew + 26)) ] ||
       [ "$(od -An -j "$lfanew" -N 4 -tx1 "$path" | tr -d ' ')" != 50450000 ]; then
        error "$name is not a Windows program: no PE signature at offset $lfanew (e_lfanew)"
        return
    fi
    magic=$(od -An -j $((lfanew + 24)) -N 2 -tx2 --endian=little "$path" | tr -d ' ')
    case $magic in
        010b|020b) ;;
        *) error "$name is not a Windows program: its PE optional header is neither 32-bit nor 64-bit" ;;
    esac
}

inf=""
for want in setup.exe setup.inf VBRun60sp5.exe phase2.exe; do
    name=$(entry "$want")
    if [ -z "$name" ]; then
        error "$want is missing"
    elif [ ! -f "$dir/$name" ]; then
        error "$name is not a file"
    elif [ "$want" = setup.inf ]; then
        inf=$dir/$name infname=$name
    else
        check_program "$name"
    fi
done

if [ -z "$inf" ]; then
    echo "setup.exe will say: Cannot open setup.inf"
    exit 1
fi

# UTF-16: a byte order mark, or NULs on the same side of most byte pairs.
utf16=$(head -c 512 "$inf" | bytes | awk '
    { for (i = 1; i <= NF; i++) b[n++] = $i }
    END {
        if (n >= 2 && b[0] == 255 && b[1] == 254) { print "with the byte order mark FF FE"; exit }
        if (n >= 2 && b[0] == 254 && b[1] == 255) { print "with the byte order mark FE FF"; exit }
        pairs = int(n / 2)
        for (i = 0; i < pairs; i++) {
            if (b[2*i] != 0 && b[2*i+1] == 0) little++
            if (b[2*i] == 0 && b[2*i+1] != 0) big++
        }
        if (little >= 2 && 2 * little >= pairs) print "without a byte order mark (NULs after most bytes)"
        else if (big >= 2 && 2 * big >= pairs) print "without a byte order mark (NULs before most bytes)"
    }')
if [ -n "$utf16" ]; then
    error "$infname is UTF-16 text $utf16; setup.exe reads it byte by byte: save it in the ANSI code page of the systems you ship to"
fi

# The first line: where the name ends and why, what is lost, lone CRs.
line_bytes=$(head -n 1 "$inf" | wc -c)
line_tail=$(head -n 1 "$inf" | tail -c 2 | od -An -tu1)
eval "$(head -n 1 "$inf" | head -c "$SCAN_MAX" | bytes | awk -v total="$line_bytes" -v tail="$line_tail" \
        -v line_max="$LINE_MAX" -v shown_max="$SHOWN_MAX" '
    function shown(from, to,    i, c, s) {
        for (i = from; i < to && i < from + shown_max; i++) {
            c = b[i]
            if (c == 13) s = s "\\r"
            else if (c == 0) s = s "\\0"
            else if (c == 9) s = s "\\t"
            else if (c == 92) s = s "\\\\"
            else if (c == 34) s = s "\\\""
            else if (c < 32 || c == 127) s = s sprintf("\\x%02X", c)
            else s = s sprintf("%c", c)
        }
        if (to > from + shown_max) s = s "..."
        gsub(/\047/, "\047\\\047\047", s)
        return "\"" s "\""
    }
    { for (i = 1; i <= NF; i++) b[n++] = $i }
    END {
        len = total; k = split(tail, t, " ")
        if (k >= 1 && t[k] == 10) { len--; if (k >= 2 && t[k-1] == 13) len-- }
        end = len; why = ""
        for (i = 0; i < len && i < line_max; i++)
            if (b[i] == 0 || b[i] == 26) { end = i; why = b[i] == 0 ? "nul" : "eof"; break }
        if (why == "" && len > line_max) { end = line_max; why = "long" }
        lost_from = why == "long" ? end : end + 1
        crs = ""
        for (i = 0; i < end; i++) if (b[i] == 13) crs = crs " " (i + 1)
        bom = end >= 3 && b[0] == 239 && b[1] == 187 && b[2] == 191
        print "len=" len " end=" end " why=" why " lost=" len - lost_from
        print "lost_text=\047" shown(lost_from, len) "\047"
        print "crs=\047" substr(crs, 2) "\047 bom=" bom
    }')"

if [ -z "$utf16" ]; then
    case $why in
        long) warning "the first line of $infname is $len bytes long: setup.exe cuts it at byte $LINE_MAX, losing the last $lost bytes: $lost_text" ;;
        nul) warning "a NUL byte at byte $((end + 1)) of the first line of $infname ends the name there, losing the $lost bytes after it: $lost_text" ;;
        eof) warning "the byte 0x1A at byte $((end + 1)) of the first line of $infname ends the text there (text mode), so the name ends there, losing the $lost bytes after it: $lost_text" ;;
    esac
    for at in $crs; do
        warning "a carriage return (CR) without a line feed at byte $at of $infname stays in the name"
    done
    if [ "$bom" = 1 ]; then
        warning "$infname starts with a UTF-8 byte order mark: setup.exe shows it as three odd characters before the name (\"ï»¿\" in Windows-1252); save it without one"
    fi
    skip=$((bom * 3 + 1))
    if [ "$(head -c "$end" "$inf" | tail -c +"$skip" | tr -d '\000-\177' | wc -c)" != 0 ]; then
        if head -c "$end" "$inf" | tail -c +"$skip" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1; then
            warning "the name has non-ASCII characters in UTF-8: setup.exe shows its bytes in the ANSI code page of the user's system, so they show as odd characters unless that code page is UTF-8; save $infname in the ANSI code page of the systems you ship to"
        else
            echo "note: the name has non-ASCII bytes: they show as the characters of the ANSI code page of the user's system, which this check cannot know"
        fi
    fi
fi
if [ "$end" = 0 ]; then
    error "$infname gives an empty name (its first line is empty, or starts with a NUL or the byte 0x1A)"
fi

# The prompt as setup.exe will show it, the name's bytes as they are.
printf 'Do you wish to install '
head -c "$end" "$inf"
printf '?\n'
[ "$errors" = 0 ]
