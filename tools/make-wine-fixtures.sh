#!/usr/bin/env bash
# Makes the registry hives in tests/data/wine/ with real Wine: a fresh prefix, values written
# with `wine reg add` and `wine regedit`, then the files wineserver saved. Needs Debian's wine
# package (not needed to build or test: the hives are checked in).
#   usage: tools/make-wine-fixtures.sh [output folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/tests/data/wine}
command -v wine >/dev/null || { echo "wine is not installed (apt-get install wine wine64)" >&2; exit 1; }

prefix=$(mktemp -d /tmp/fw-wineprefix.XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY
wineboot -i >/dev/null 2>&1
wineserver -w

reg() { wine reg add "$@" /f >/dev/null; }
k='HKCU\Software\Fleetwing'
reg "$k" /v CheckPeriodNum /t REG_DWORD /d 12
reg "$k" /v AccelerateN /t REG_DWORD /d 0xfffffffb
reg "$k" /v Network /t REG_SZ /d 1
reg "$k" /v APP_NAME /t REG_SZ /d ' BitComet'
reg "$k" /v APP_PATH /t REG_SZ /d 'C:\Program Files\BitComet\BitComet.exe'
reg "$k" /v Empty /t REG_SZ /d ''
reg "$k" /v Umlaut /t REG_SZ /d 'Grüße'
reg "$k" /v Controls /t REG_SZ /d $'tab\there\x01\x017x\x1b\x7f"quoted" back\\slash'
reg "$k" /v Emoji /t REG_SZ /d $'smile \U0001F600 end'
reg "$k" /v Expand /t REG_EXPAND_SZ /d '%ProgramFiles%\Shareaza'
reg "$k" /v Multi /t REG_MULTI_SZ /d 'one\0two\0three'
reg "$k" /v Quad /t REG_QWORD /d 0x1122334455667788
reg "$k" /v Binary /t REG_BINARY /d "$(printf '%02x' $(seq 0 99))"
reg "$k" /v 'na"me \ with [brackets]' /t REG_SZ /d 'odd name'
reg "$k" /ve /t REG_SZ /d 'default value'
reg "$k\Sub Key [x]" /v inner /t REG_DWORD /d 1
for name in _under Zeta alpha Beta '~tilde' '[open'; do
    reg "$k\Order\\$name" /v v /t REG_SZ /d "$name"
done
reg 'HKCU\Software\Azureus' /v exec /t REG_SZ /d 'C:\Program Files\Vuze\Azureus.exe'
reg 'HKCU\Software\BitComet' /ve /t REG_SZ /d 'C:\Program Files\BitComet'

# Values that `reg add` cannot make, imported with regedit: a short dword, hex(1) strings and
# a value of type 0.
cat >"$prefix/odd.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Fleetwing\Odd]
"OddLength"=hex(1):41,00,42
"NoTerminator"=hex(1):41,00,42,00
"ShortDword"=hex(4):01,02
"None"=hex(0):
REG
wine regedit /S 'Z:'"${prefix//\//\\}"'\odd.reg' >/dev/null

# A 32-bit installer's keys in a 64-bit prefix, and a native one.
reg 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Ares' /reg:32 \
    /v UninstallString /t REG_SZ /d '"C:\Apps\Ares\uninstall.exe"'
reg 'HKLM\Software\LimeWire' /reg:32 /v InstallDir /t REG_SZ /d 'C:\Program Files\LimeWire'
reg 'HKLM\Software\LimeWire' /reg:64 /v InstallDir /t REG_SZ /d 'C:\Native\LimeWire'
reg 'HKLM\SOFTWARE\DC++' /reg:64 /v Install_Dir /t REG_SZ /d 'C:\Program Files\DC++'

wineserver -w
mkdir -p "$out"
cp "$prefix/user.reg" "$out/user.reg"
# The machine hive of a fresh prefix is several megabytes; keep it whole, compressed.
gzip -9n <"$prefix/system.reg" >"$out/system.reg.gz"
echo "wrote $out/user.reg and $out/system.reg.gz"
