#!/bin/sh
# Builds the test payloads of the file and shell command tests: one-entry
# encrypted ZIP archives (the package password), and a resource script that
# embeds each as an RCDATA resource named after its entry in upper case.
#
#   make_file_payloads.sh <output folder> <resource script>
set -eu
out=$1
rc=$2
password=VintrelQuarbPaxo

rm -rf "$out"
mkdir -p "$out/files"
cd "$out/files"

# App.dll: compressible text, so that the entry is deflated.
i=0
: >App.dll
while [ $i -lt 200 ]; do
    printf 'APP-PAYLOAD ' >>App.dll
    i=$((i + 1))
done

# Tool.exe: the patch source.
printf '0123456789ABCDEFGHIJ' >Tool.exe

# Fix.pat: two records, little-endian offset and length, then the data:
#   offset 2, length 3, "xyz";  offset 22, length 2, "!!" (past the end).
printf '\002\000\000\000\003\000\000\000xyz\026\000\000\000\002\000\000\000!!' >Fix.pat

# Big1.dat to Big3.dat and Broken.dat: 1.35 MB of numbered lines each, large
# enough to be decoded in several steps (tests regenerate the same lines).
for k in 1 2 3 4; do
    awk -v k=$k 'BEGIN { for (i = 0; i < 150000; i++) printf "%08d\n", i * 7 + k }' >Big$k.dat
done
mv Big4.dat Broken.dat

printf 'LANGUAGE 0, 0\n' >"$rc"
for name in App.dll Tool.exe Fix.pat Big1.dat Big2.dat Big3.dat Broken.dat; do
    upper=$(printf '%s' "$name" | tr '[:lower:]' '[:upper:]')
    zip -q -X -D -P "$password" "../$upper.zip" "$name"
    printf '%s RCDATA "%s"\n' "$upper" "$out/$upper.zip" >>"$rc"
done

# Broken.dat: one byte in the middle of its encrypted data flipped, so that
# it opens and starts to decode but fails before its end.
broken="../BROKEN.DAT.zip"
middle=$(($(wc -c <"$broken") / 2))
byte=$(od -An -tu1 -j "$middle" -N1 "$broken" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 255)))" |
    dd of="$broken" bs=1 seek="$middle" conv=notrunc status=none
