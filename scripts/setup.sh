#!/usr/bin/env bash
# Prepares a Debian 12 amd64 machine, as root, to build setup.exe and run it
# under 32-bit Wine. Safe to run again: each step checks before it acts.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

need_pkgs=(cmake make g++ g++-mingw-w64-i686 wine wine32:i386 xvfb xauth
           xdotool imagemagick googletest clang libclang-rt-14-dev)

missing() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || echo "$p"
    done
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture"
    dpkg --add-architecture i386
fi

# qemu from bookworm's own suite takes about 50 s for each 32-bit Wine start;
# the backports build is more than a hundred times faster.
backports=/etc/apt/sources.list.d/bookworm-backports.sources
if [ ! -f "$backports" ]; then
    uri=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
    echo "Types: deb
URIs: ${uri:-http://deb.debian.org/debian}
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" > "$backports"
fi

todo=$(missing "${need_pkgs[@]}" qemu-user)
case "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null)" in
    1:[0-7].*) todo="$todo qemu-user" ;;  # bookworm's own: too slow for Wine
esac
if [ -n "$todo" ]; then
    echo "setup: installing packages (a few minutes on a new machine):" $todo
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
fi

# A kernel without 32-bit ELF support runs 32-bit Wine through qemu.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    mnt=/proc/sys/fs/binfmt_misc
    mountpoint -q "$mnt" || mount -t binfmt_misc binfmt_misc "$mnt"
    if [ ! -e "$mnt/qemu-i386" ]; then
        echo "setup: registering qemu-i386 for 32-bit programs"
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' > "$mnt/register"
    fi
    /usr/lib/wine/wine --version >/dev/null
fi
