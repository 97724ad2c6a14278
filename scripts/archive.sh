# Sourced by the scripts that need the Debian archive the machine already
# uses. The archive may be listed in one-line entries (sources.list and
# sources.list.d/*.list, as the installer and debootstrap write them) or in
# deb822 sources.list.d/*.sources files.

# Prints the address of the first enabled binary-package entry for a suite
# in an apt folder's lists.
#   find_archive APT_DIR SUITE
find_archive() {
    local apt=$1 suite=$2 lists=() stanzas=() f
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
