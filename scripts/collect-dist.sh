#!/bin/sh
# Copies the products into dist/ and prints their sizes in bytes.
set -eu
cd "$(dirname "$0")/.."
mkdir -p dist/win32 dist/win64
cp build/win32/startup/engine.exe dist/win32/engine.exe
cp build/win64/startup/engine.exe dist/win64/engine.exe
cp build/win32/packer/dispack.exe dist/win32/dispack.exe
cp build/win64/packer/dispack.exe dist/win64/dispack.exe
if [ -x build/native/packer/dispack ]; then
    strip -o dist/dispack build/native/packer/dispack
fi
echo "Products:"
for f in dist/win32/engine.exe dist/win64/engine.exe dist/dispack dist/win32/dispack.exe \
         dist/win64/dispack.exe; do
    [ -f "$f" ] && printf '  %-24s %8d bytes\n' "$f" "$(stat -c %s "$f")"
done
# Each engine by section: bytes of content (the file pads each to 512).
for arch in win32:i686 win64:x86_64; do
    tree=${arch%%:*}
    line=""
    bss=0
    for section in $("${arch#*:}"-w64-mingw32-objdump -h "dist/$tree/engine.exe" |
                     awk '$1 ~ /^[0-9]+$/ { print $2 "=" $3 }'); do
        name=${section%%=*}
        size=$((0x${section#*=}))
        if [ "$name" = ".bss" ]; then bss=$size; else line="$line $name $size"; fi
    done
    printf '  %-24s%s (.bss %d, not in the file)\n' "dist/$tree/engine.exe" "$line" "$bss"
done
# Both engines must stay lean and need only the system's DLLs.
for arch in win32:i686 win64:x86_64; do
    tree=${arch%%:*}
    cmake -DENGINE="build/$tree/startup/engine.exe" -DMAP="build/$tree/startup/engine.map" \
          -DOBJDUMP="${arch#*:}-w64-mingw32-objdump" -P cmake/CheckLeanEngine.cmake >/dev/null
    printf '  %-24s %s\n' "dist/$tree/engine.exe" \
        "$("${arch#*:}"-w64-mingw32-objdump -f "dist/$tree/engine.exe" | sed -n 's/.*file format //p'), system DLLs only"
done
# Both Windows packers are console programs that need only the system's DLLs.
for arch in win32:i686 win64:x86_64; do
    tree=${arch%%:*}
    cmake -DPACKER="dist/$tree/dispack.exe" -DOBJDUMP="${arch#*:}-w64-mingw32-objdump" \
          -P cmake/CheckPackerImports.cmake >/dev/null
    printf '  %-24s %s\n' "dist/$tree/dispack.exe" \
        "$("${arch#*:}"-w64-mingw32-objdump -f "dist/$tree/dispack.exe" | sed -n 's/.*file format //p'), console, system DLLs only"
done
