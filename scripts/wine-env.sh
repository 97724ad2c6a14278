# Sourced by the scripts: Wine's settings for this build tree, and its
# prefix, made on first use.
WINEPREFIX="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine"
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
# Wine keeps file names in the Unix locale's encoding: only UTF-8 holds
# every name that Windows can.
LANG=C.UTF-8
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES LANG

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix $WINEPREFIX (about 15 s)"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    # A crashing stage is the bootstrapper's business, not a dialog's.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
fi
