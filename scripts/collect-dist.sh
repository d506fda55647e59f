#!/bin/sh
# Copies the products into dist/ and prints their sizes in bytes.
set -eu
cd "$(dirname "$0")/.."
mkdir -p dist/win32 dist/win64
cp build/win32/engine/engine.exe dist/win32/engine.exe
cp build/win64/engine/engine.exe dist/win64/engine.exe
if [ -x build/native/packer/dispack ]; then
    strip -o dist/dispack build/native/packer/dispack
fi
echo "Products:"
for f in dist/win32/engine.exe dist/win64/engine.exe dist/dispack; do
    [ -f "$f" ] && printf '  %-24s %8d bytes\n' "$f" "$(stat -c %s "$f")"
done
