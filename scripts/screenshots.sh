#!/bin/sh
# Walks the sample product's wizard (Setup and Uninstall) under Xvfb and
# writes a PNG of every page into docs/screenshots/.
#
#   scripts/screenshots.sh [output-folder]
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=${1:-$ROOT/docs/screenshots}
TEST=SampleProductWizard.DefaultAnswersInstallItAndItsUninstallerRemovesIt
SHOTS=$ROOT/build/win64/tests/wizard_walks/screenshots/$TEST

. "$ROOT/scripts/wine-env.sh"
# Always a virtual screen of our own: the pictures must not depend on the
# screen of whoever runs this.
export WINE_ENV_OWN_XVFB=1
wine_start
trap wine_stop EXIT

(cd "$ROOT/build/win64" && ctest --output-on-failure -R "^$TEST\$") >"$ROOT/build/screenshots.log" 2>&1
rc=$?
if [ "$rc" -ne 0 ]; then
    tail -40 "$ROOT/build/screenshots.log"
    echo "screenshots: the walk failed (full log: build/screenshots.log)"
    exit 1
fi
mkdir -p "$OUT"
rm -f "$OUT"/setup-*.png "$OUT"/uninstall-*.png
for shot in "$SHOTS"/*.png; do
    name=$(basename "$shot")
    cp "$shot" "$OUT/${name#[0-9][0-9]-}"
done
echo "Screenshots of every page:"
ls -1 "$OUT"/*.png | sed "s|^$ROOT/|   |"
