#!/usr/bin/env bash
# setup.exe run from a disc as Windows runs it: the image make-disc.sh makes
# of a sample folder, loop-mounted read-only without Rock Ridge so that the
# kernel shows its Joliet names, as Windows would, and put on a Wine drive of
# type CD-ROM; the test program's DiscTest cases run setup.exe there.
# Usage: disc_run_test.sh BUILD-FOLDER [REPEATS]
set -euo pipefail
build=$(cd "$1" && pwd)
repeats=${2:-1}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$build/disc-run
mnt=$work/disc
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

fail() { echo "disc run: $*" >&2; exit 1; }

mountpoint -q "$mnt" && umount "$mnt"
rm -rf "$work"
mkdir -p "$work/folder" "$mnt"
cp "$build/setup.exe" "$work/folder/"
cp "$build/fakestage.exe" "$work/folder/VBRun60sp5.exe"
cp "$build/fakestage.exe" "$work/folder/phase2.exe"
printf 'Acme Widgets\r\n' > "$work/folder/setup.inf"  # the name DiscTest expects
bash "$source_dir/scripts/make-disc.sh" "$work/folder" "$work/disc.iso" >"$work/make-disc.log" 2>&1 ||
    { cat "$work/make-disc.log" >&2; fail "make-disc.sh could not make the disc"; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "disc run: creating the Wine prefix $WINEPREFIX (about 15 s)"
    wineboot -i >/dev/null 2>&1
    # As scripts/wine-env.sh makes it: a crashing stage is the tests' business.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
fi
drive=""
for letter in {d..y}; do
    if [ ! -e "$WINEPREFIX/dosdevices/$letter:" ] && [ ! -L "$WINEPREFIX/dosdevices/$letter:" ]; then
        drive=$letter:
        break
    fi
done
[ -n "$drive" ] || fail "no free drive letter in $WINEPREFIX/dosdevices"

# Until the wineserver of the prefix has ended, with all that it ran.
wait_for_wine() {
    timeout 60 wineserver -w ||
        fail "the wineserver of $WINEPREFIX is still running after 60 s: a Wine program of an earlier run has not ended"
}

cleanup() {
    wine reg delete 'HKLM\Software\Wine\Drives' /v "$drive" /f >/dev/null 2>&1 || true
    rm -f "$WINEPREFIX/dosdevices/$drive"
    timeout 60 wineserver -w || echo "disc run: the wineserver of $WINEPREFIX did not end" >&2
    if mountpoint -q "$mnt" && ! umount "$mnt"; then
        echo "disc run: could not unmount $mnt" >&2
    fi
}

# The kernel shows the Joliet names when told not to read Rock Ridge. A
# kernel built without ISO 9660 gets the Joliet tree as xorriso reads it
# from the image, on a read-only bind mount: the same names, the same bytes,
# and a medium that refuses writes, even root's.
if grep -qw iso9660 /proc/filesystems; then
    mount -o loop,ro,norock "$work/disc.iso" "$mnt" 2>"$work/mount.log" ||
        fail "the kernel refused to loop-mount the disc image ($(cat "$work/mount.log")); this test needs root and /dev/loop*"
    how="loop-mounted without Rock Ridge"
else
    LC_ALL=C.UTF-8 xorriso -read_fs norock -indev "$work/disc.iso" -osirrox on \
        -extract / "$work/joliet" >"$work/extract.log" 2>&1 ||
        { cat "$work/extract.log" >&2; fail "xorriso could not read the disc's Joliet tree"; }
    { mount --bind "$work/joliet" "$mnt" && mount -o remount,bind,ro "$mnt"; } 2>"$work/mount.log" ||
        fail "could not mount the disc's Joliet tree read-only ($(cat "$work/mount.log")); this test needs root"
    how="its Joliet tree on a read-only mount (this kernel has no ISO 9660)"
fi
trap cleanup EXIT

ln -s "$mnt" "$WINEPREFIX/dosdevices/$drive"
wine reg add 'HKLM\Software\Wine\Drives' /v "$drive" /d cdrom /f >/dev/null 2>&1 ||
    fail "could not make $drive a CD-ROM drive in the Wine registry"
# Wine's mount manager takes the drive types from the registry as it starts.
wait_for_wine

echo "disc run: $work/disc.iso, $how, on $drive; setup.exe started there ($repeats time(s))"
status=0
SETUP_DISC="$drive\\" wine "$build/setup_tests.exe" --gtest_filter='DiscTest.*' \
    --gtest_repeat="$repeats" | tee "$work/run.log" || status=$?
if grep -q '^\[  SKIPPED \]' "$work/run.log"; then
    fail "DiscTest skipped itself although $drive holds the disc"
fi
[ "$status" = 0 ] || fail "setup.exe from the disc did not behave (above)"
