#!/usr/bin/env bash
# Runs the Windows-side tests once more, under Wine 10 from Debian 13
# (trixie), with the programs scripts/test.sh built. Wine 10 lives in a
# Debian 13 root made once, from the archive the machine already uses, and
# kept outside the build tree; it has a Wine prefix and test results of its
# own (build/wine10). Tests labelled "host" run on the build machine only.
#   bash scripts/wine10.sh    (after scripts/test.sh has built everything)
set -euo pipefail
cd "$(dirname "$0")/.."
wt=$(pwd -P)
root=${TRIXIE_ROOT:-/var/cache/setup-exe/trixie-root}
done_marker=$root/.setup-exe-complete
pkgs=(wine wine32:i386 xvfb xauth cmake)

# The root's mounts live in a mount namespace of this script's own, so they
# vanish when it ends, however it ends.
if [ -z "${WINE10_PRIVATE_MOUNTS:-}" ]; then
    WINE10_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private bash "$0" "$@"
fi

step=start
trap 'echo "wine10: failed while $step (exit status $?)" >&2' ERR

in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        DEBIAN_FRONTEND=noninteractive "$@"
}

mount_system() {
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --rbind /sys "$root/sys"
}

if [ ! -f "$done_marker" ]; then
    step="finding the Debian archive"
    source scripts/archive.sh
    if ! uri=$(find_archive /etc/apt bookworm); then
        echo "wine10: found no Debian 12 (bookworm) archive in /etc/apt to take" \
             "Debian 13 from" >&2
        exit 1
    fi
    # A root without the marker is what an interrupted run left.
    step="removing an unfinished root"
    rm -rf --one-file-system "$root"
    mkdir -p "$root"
    step="making a Debian 13 root in $root from $uri"
    echo "wine10: $step (about 30 s)"
    debootstrap --variant=minbase trixie "$root" "$uri" >/dev/null
    mount_system
    # Wine reads the ANSI code page from the locale's name; the root
    # generates ja_JP.UTF-8 only if the build machine has it, so both Wines
    # see the same locales.
    if locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
        pkgs+=(locales)
    fi
    step="installing ${pkgs[*]} in the root"
    echo "wine10: $step (about 1.5 GB, a minute or two)"
    in_root dpkg --add-architecture i386
    in_root apt-get update -qq
    in_root apt-get install -y -qq --no-install-recommends "${pkgs[@]}" >/dev/null
    if [[ " ${pkgs[*]} " == *" locales "* ]]; then
        echo 'ja_JP.UTF-8 UTF-8' > "$root/etc/locale.gen"
        in_root locale-gen >/dev/null
    fi
    step="checking that Wine 10 starts"
    in_root /usr/lib/wine/wine --version >/dev/null
    in_root wine --version > "$done_marker"
    echo "wine10: the root is ready, in $SECONDS s"
else
    mount_system
fi

# Every test but the host's runs a program under Wine: a test without the
# label that runs something else would run it in the root. What the host's
# fixtures make (a signed setup.exe, a disc) the host's run has made. Listing the tests
# also writes GoogleTest's lists, under the machine's Wine, before the
# root's CMake, which has other modules, reads them.
step="listing the tests"
mkdir -p build/wine10/prefix build/wine10/Testing
source scripts/wine-env.sh
xvfb-run -a ctest --test-dir build -N -V -LE host -FS '.*' > build/wine10/tests.txt
wineserver -w
unlabelled=$(awk '/Test command:/ { wine = / "wine" / }
                  /Test +#[0-9]+:/ && !wine { print $3 }' build/wine10/tests.txt)
if [ -n "$unlabelled" ]; then
    echo "wine10: these tests run no Windows program; give them LABELS host in" \
         "tests/CMakeLists.txt:" $unlabelled >&2
    exit 1
fi

# The host's /tmp, so xvfb-run finds the displays in use; then the build
# tree at its own path, so the paths in the test files hold, mounted after
# /tmp so that a tree inside /tmp is not hidden again. Each Wine has its own
# prefix: one made by Wine 8 and upgraded would report another Windows.
step="mounting the build tree in the root"
mount --bind /tmp "$root/tmp"
mkdir -p "$root$wt" build/wine build/Testing
mount --bind "$wt" "$root$wt"
mount --bind build/wine10/prefix "$root$wt/build/wine"
mount --bind build/wine10/Testing "$root$wt/build/Testing"
cp "$done_marker" build/wine10/wine-version

step="running the tests under $(cat "$done_marker")"
echo "test: $step"
in_root bash -c 'cd "$1" && source scripts/wine-env.sh || exit
    status=0
    xvfb-run -a ctest --test-dir build --output-on-failure -LE host -FS ".*" || status=$?
    wineserver -k 2>/dev/null
    exit "$status"' _ "$wt"
