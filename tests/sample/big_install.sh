#!/bin/sh
# A 100 MB product installed silently, its payloads decoded ahead of their
# copies on worker threads, and every installed file compared byte for byte
# with the product's own. The product is the install benchmark's: 50 files
# of 2 MiB, alternately random bytes and text. Not timed (bench/install.sh
# measures the speed).
#
#   big_install.sh pack DISPACK ENGINE WORK   makes WORK/product and WORK/Setup.exe
#   big_install.sh run WINE WORK              installs it under Wine into
#                                             C:\BigInstall, compares, removes it
set -eu
action=$1
if [ "$action" = pack ]; then
    dispack=$2 engine=$3 work=$4
    rm -rf "$work" && mkdir -p "$work/product"
    i=0
    while [ $i -lt 50 ]; do
        name=$(printf 'part%02d.bin' $i)
        if [ $((i % 2)) -eq 0 ]; then
            head -c 2097152 /dev/urandom >"$work/product/$name"
        else
            yes "payload $i: words that a deflate stream packs well" | head -c 2097152 \
                >"$work/product/$name"
        fi
        i=$((i + 1))
    done
    {
        printf 'PhaseBegin 0\r\nSet #PROGRAM#,BigInstall\r\nPhaseEnd\r\n'
        printf 'PhaseBegin 1\r\nCreateDir #INSTALLPATH#\r\n'
        for f in $(cd "$work/product" && ls); do printf 'CopyFile %s,#INSTALLPATH#\r\n' "$f"; done
        printf 'PhaseEnd\r\n'
    } >"$work/Setup.dis"
    "$dispack" build -o "$work/Setup.exe" --engine "$engine" "$work/Setup.dis" "$work/product" >/dev/null
    exit 0
fi

[ "$action" = run ] || { sed -n '8,10p' "$0" >&2; exit 2; }
wine=$2 work=$3
target=$WINEPREFIX/drive_c/BigInstall
rm -rf "$target" "$work/Setup.log"
status=0
(cd "$work" && "$wine" Setup.exe '-INSTALL=C:\BigInstall' </dev/null >/dev/null 2>&1) || status=$?
failed=0
[ "$status" -eq 0 ] || { echo "FAIL: exit code $status, expected 0"; failed=1; }
log=$(tr -d '\r' <"$work/Setup.log" 2>/dev/null || echo "(no Setup.log)")
[ "$log" = "Setup finished successfully!" ] || { echo "FAIL: Setup.log: $log"; failed=1; }
for f in "$work"/product/*; do
    cmp -s "$f" "$target/${f##*/}" || { echo "FAIL: ${f##*/} differs or is missing"; failed=1; }
done
extra=$(ls "$target" 2>/dev/null | wc -l)
[ "$extra" -eq 50 ] || { echo "FAIL: $extra files installed, expected 50"; failed=1; }
rm -rf "$target"
[ $failed -eq 0 ] && echo "50 files, 104857600 bytes, installed byte for byte"
exit $failed
