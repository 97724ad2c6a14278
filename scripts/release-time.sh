# Sourced by the release scripts. What they make carries one pinned time, as
# the build's PE time stamp does, so that the same inputs give the same
# bytes: SOURCE_DATE_EPOCH when set, else the last commit's time.
#   release_time    prints it in seconds since 1970; fails when there is none
release_time() {
    local epoch=${SOURCE_DATE_EPOCH:-$(git -C "$(dirname "${BASH_SOURCE[0]}")" log -1 --format=%ct 2>/dev/null)}
    [[ $epoch =~ ^[0-9]+$ ]] && echo "$epoch"
}
