#!/usr/bin/env bash
# Prepares a Debian 12 amd64 machine, as root, to build setup.exe, run it
# under 32-bit Wine, sign it and put it on a disc. Safe to run again: each
# step checks before it acts.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "$0")"

step=start
trap 'echo "setup: failed while $step (exit status $?)" >&2' ERR

need_pkgs=(cmake make g++ g++-mingw-w64-i686 wine wine32:i386 xvfb xauth
           xdotool imagemagick googletest clang libclang-rt-14-dev
           openssl ca-certificates xorriso debootstrap git)
# From bookworm-backports: qemu-user, as bookworm's own takes about 50 s for
# each 32-bit Wine start, and osslsigncode 2.9, which takes a signing time.
backports_pkgs=(qemu-user osslsigncode)

missing() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || echo "$p"
    done
}

step="adding the i386 architecture"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: $step"
    dpkg --add-architecture i386
fi

step="listing bookworm-backports"
bash backports.sh

step="installing packages"
todo=$(missing "${need_pkgs[@]}" "${backports_pkgs[@]}")
case "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null)" in
    1:[0-7].*) todo="$todo qemu-user" ;;  # bookworm's own: too slow for Wine
esac
if [ -n "$todo" ]; then
    echo "setup: $step (a few minutes on a new machine):" $todo
    step="updating the package lists"
    apt-get update -qq
    step="installing packages: ${need_pkgs[*]}"
    apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
    step="installing from bookworm-backports: ${backports_pkgs[*]}"
    apt-get install -y -qq --no-install-recommends -t bookworm-backports \
        "${backports_pkgs[@]}" >/dev/null
fi

# A kernel without 32-bit ELF support runs 32-bit Wine through qemu.
step="making 32-bit Wine start"
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    mnt=/proc/sys/fs/binfmt_misc
    mountpoint -q "$mnt" || mount -t binfmt_misc binfmt_misc "$mnt"
    if [ ! -e "$mnt/qemu-i386" ]; then
        echo "setup: registering qemu-i386 for 32-bit programs"
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' > "$mnt/register"
    fi
    /usr/lib/wine/wine --version >/dev/null
fi
