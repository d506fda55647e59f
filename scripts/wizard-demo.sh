#!/bin/bash
# Shows the sample product's real wizard. With a display ($DISPLAY set), Wine
# opens Pebblenote's Setup.exe on that screen; when it has installed the
# product, the installed Uninstall.exe shows its wizard too. Without a
# display, a walk goes through every page under Xvfb and the screenshots are
# kept.
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)

if [ -z "${DISPLAY:-}" ]; then
    echo "No display: walking the wizard under Xvfb instead."
    OUT=$ROOT/build/wizard-demo/screenshots
    "$ROOT/scripts/screenshots.sh" "$OUT" || exit 1
    echo "Open them with any image viewer, for example: xdg-open $OUT/setup-1-welcome.png"
    exit 0
fi

DEMO=$ROOT/build/wizard-demo
SAMPLE=$ROOT/examples/pebblenote
ENGINE=$ROOT/dist/win64/engine.exe
rm -rf "$DEMO"
mkdir -p "$DEMO/package" "$DEMO/run"
echo "Packing the sample product as make demo does"
"$ROOT/dist/dispack" build -o "$DEMO/package/Uninstall.exe" --engine "$ENGINE" \
    "$SAMPLE/Uninstall.dis" >/dev/null || exit 1
"$ROOT/dist/dispack" build -o "$DEMO/run/Setup.exe" --engine "$ENGINE" \
    --license "$SAMPLE/License.txt" "$SAMPLE/Setup.dis" "$SAMPLE/sounds" "$SAMPLE/drivers" \
    "$ROOT/build/win64/examples/Pebblenote.exe" "$DEMO/package/Uninstall.exe" >/dev/null || exit 1

export WINEPREFIX=$DEMO/wineprefix
. "$ROOT/scripts/wine-env.sh"
echo "Starting Wine in a private prefix ($WINEPREFIX) on display $DISPLAY"
wine_start
trap wine_stop EXIT
# On a desktop with a window manager, let it manage (and decorate) the
# wizard's windows.
"$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d Y /f \
    >/dev/null 2>&1 </dev/null

echo "Setup.exe is open on your screen. Walk through it; close it to go on."
(cd "$DEMO/run" && "$WINE64" Setup.exe </dev/null >/dev/null 2>&1)
code=$?
echo "Setup ended with exit code $code (0 = installed, 1223 = cancelled)."
uninstaller='C:\Program Files\Pebblenote\Uninstall.exe'
if [ -e "$WINEPREFIX/drive_c/Program Files/Pebblenote/Uninstall.exe" ]; then
    echo "Now the installed uninstaller's wizard: $uninstaller"
    (cd "$DEMO/run" && "$WINE64" "$uninstaller" </dev/null >/dev/null 2>&1)
    echo "Uninstall ended with exit code $?."
fi
