#!/bin/bash
# Packs the sample product Pebblenote and installs it silently under Wine in
# a private prefix, shows what the installation did, then runs the installed
# uninstaller silently and shows that the product is gone.
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
DEMO=$ROOT/build/demo
SAMPLE=$ROOT/examples/pebblenote
DISPACK=$ROOT/dist/dispack
ENGINE=$ROOT/dist/win64/engine.exe
PRODUCT_EXE=$ROOT/build/win64/examples/Pebblenote.exe

heading() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
show() { printf '   $ %s\n' "$*"; }

rm -rf "$DEMO"
mkdir -p "$DEMO/package" "$DEMO/run"

heading "Packing the sample product"
show dispack build -o Uninstall.exe --engine "$ENGINE" Uninstall.dis
"$DISPACK" build -o "$DEMO/package/Uninstall.exe" --engine "$ENGINE" "$SAMPLE/Uninstall.dis" || exit 1
show dispack build -o Setup.exe --engine "$ENGINE" --license License.txt Setup.dis sounds/ drivers/ Pebblenote.exe Uninstall.exe
"$DISPACK" build -o "$DEMO/run/Setup.exe" --engine "$ENGINE" --license "$SAMPLE/License.txt" \
    "$SAMPLE/Setup.dis" "$SAMPLE/sounds" "$SAMPLE/drivers" "$PRODUCT_EXE" \
    "$DEMO/package/Uninstall.exe" || exit 1
show dispack list --paths Setup.exe
"$DISPACK" list --paths "$DEMO/run/Setup.exe"

export WINEPREFIX=$DEMO/wineprefix
. "$ROOT/scripts/wine-env.sh"
heading "Starting Wine in a private prefix ($WINEPREFIX)"
wine_start
trap wine_stop EXIT

C=$WINEPREFIX/drive_c
WINE_USER=$(id -un)
# The x86_64 engine keeps the 32-bit engine's registry view (see
# platform/registry_view.h), so the demo reads that view.
reg_query() { "$WINE64" reg query "$@" /reg:32 2>/dev/null | tr -d '\r' | sed '/^$/d'; }
reg_exists() { "$WINE64" reg query "$@" /reg:32 >/dev/null 2>&1; }
win_path() { "$WINE64" winepath -u "$1" 2>/dev/null | tr -d '\r'; }

heading "Installing silently"
show 'cd run && wine64 Setup.exe -SILENT'
(cd "$DEMO/run" && "$WINE64" Setup.exe -SILENT </dev/null >/dev/null 2>&1)
install_code=$?
echo "   exit code: $install_code"
echo "   Setup.log:"
sed 's/^/     | /' "$DEMO/run/Setup.log" 2>/dev/null | tr -d '\r'

INSTALL="$C/Program Files/Pebblenote"
heading "Installed files"
(cd "$INSTALL" 2>/dev/null && find . -type f -printf '   %-28P %8s bytes\n' | sort)

heading "Registry: the product's uninstall entry"
reg_query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pebblenote' | sed 's/^/   /'

heading "Setup information record (HKLM\\Software\\Corvanta, value Pebblenote)"
hex=$(reg_query 'HKLM\Software\Corvanta' /v Pebblenote | awk '/REG_BINARY/ {print $3}')
if [ -n "$hex" ]; then
    byte() { echo $((16#${hex:$(($1 * 2)):2})); }
    int16() { local v=$(( $(byte "$1") | ($(byte $(($1 + 1))) << 8) )); [ $v -ge 32768 ] && v=$((v - 65536)); echo $v; }
    text() { local s="" i=$1 b; while [ $i -lt $(($1 + 260)) ]; do b=${hex:$((i * 2)):2}; [ "$b" = "00" ] && break; s+=$(printf "\\x$b"); i=$((i + 1)); done; echo "$s"; }
    printf '   %-22s %s bytes\n' "size" $(( ${#hex} / 2 ))
    printf '   %-22s %s\n' "format" "$(int16 0)"
    printf '   %-22s 0x%s\n' "product checksum" "${hex:18:2}${hex:16:2}${hex:14:2}${hex:12:2}"
    printf '   %-22s %s.%s\n' "version" "$(int16 10)" "$(int16 12)"
    printf '   %-22s %s\n' "for whom" "$(int16 14)" "location flag" "$(int16 16)" "individual flag" "$(int16 18)"
    printf '   %-22s %s\n' "install path" "$(text 20)" "custom path" "$(text 280)"
    printf '   %-22s %s\n' "version check address" "$(text 800)" "download address" "$(text 1060)"
else
    echo "   (no record)"
fi

heading "Shortcuts"
for d in "$C/ProgramData/Microsoft/Windows/Start Menu/Programs/Pebblenote" \
         "$C/users/$WINE_USER/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Pebblenote" \
         "$C/users/Public/Desktop" "$C/users/$WINE_USER/Desktop"; do
    [ -d "$d" ] || continue
    find -L "$d" -maxdepth 1 \( -name '*.lnk' -o -name '*.url' \) -printf '   %p\n' | sed "s|$C|C:|"
done
url=$(find "$C" -name 'Pebblenote on the Web.url' 2>/dev/null | head -1)
[ -n "$url" ] && { echo "   contents of the internet shortcut:"; sed 's/^/     | /' "$url"; echo; }

heading "Startup task"
echo "   Setup registered the task \"Pebblenote\" with the Task Scheduler. Wine's scheduler cannot"
echo "   create logon triggers, so here that step fails; the engine treats it as a warning and"
echo "   the installation goes on (on Windows the task starts Pebblenote at every logon)."

heading "Uninstalling silently with the installed Uninstall.exe"
show 'cd run && wine64 "C:\Program Files\Pebblenote\Uninstall.exe" -SILENT'
(cd "$DEMO/run" && "$WINE64" 'C:\Program Files\Pebblenote\Uninstall.exe' -SILENT </dev/null >/dev/null 2>&1)
uninstall_code=$?
echo "   exit code: $uninstall_code"
echo "   Uninstall.log:"
sed 's/^/     | /' "$DEMO/run/Uninstall.log" 2>/dev/null | tr -d '\r'
# The uninstaller removes itself once it has ended.
for _ in $(seq 1 100); do [ -e "$INSTALL" ] || break; sleep 0.2; done

heading "What is left of the product"
left=0
[ -e "$INSTALL" ] && { echo "   install folder: still there"; find "$INSTALL" | sed 's/^/     /'; left=1; }
reg_exists 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pebblenote' && { echo "   uninstall entry: still there"; left=1; }
reg_exists 'HKLM\Software\Corvanta' /v Pebblenote && { echo "   setup information record: still there"; left=1; }
find -L "$C" \( -name 'Pebblenote*.lnk' -o -name 'Pebblenote*.url' \) 2>/dev/null | grep -q . && { echo "   shortcuts: still there"; left=1; }
pending=$(reg_query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations | grep -i pebblenote)
[ -n "$pending" ] && echo "   scheduled for removal at the next restart: $pending"
[ $left -eq 0 ] && echo "   nothing: the folder, the registry entries, the record and the shortcuts are gone"

heading "Summary"
echo "   install exit code:   $install_code"
echo "   uninstall exit code: $uninstall_code"
[ "$install_code" -eq 0 ] && [ "$uninstall_code" -eq 0 ] && [ $left -eq 0 ]
