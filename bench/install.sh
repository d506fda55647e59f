#!/bin/sh
# Install benchmark (not a test): the same product packed by dispack and by
# makensis, each installed silently under Wine in a private prefix.
#
# The product is 50 files of 2 MiB, alternately random bytes and word text
# (`reader_bench product`). Runs are interleaved (ours, ours with a detailed
# log, NSIS, ours on one core, NSIS on one core, then again), so that a
# change in the machine's load hits every variant alike; each figure is the
# best of $RUNS. Every install is checked byte for byte against the product's
# files, and every logged one for its log.
#
#   bench/install.sh ENGINE64 DISPACK READER WORK
set -eu
ENGINE=$1
DISPACK=$2
READER=$3
WORK=$4
RUNS=${RUNS:-9}
ROOT=$(cd "$(dirname "$0")/.." && pwd)

mkdir -p "$WORK"
cd "$WORK"
if [ ! -f product/.complete ]; then
    rm -rf product && mkdir product
    "$READER" product product
    touch product/.complete
fi
mv product/.complete complete.product   # not part of the product

# The engine's script: one CopyFile per file, in name order.
{
    printf 'PhaseBegin 0\r\nSet #PROGRAM#,Bench\r\nPhaseEnd\r\n'
    printf 'PhaseBegin 1\r\nCreateDir #INSTALLPATH#\r\n'
    for f in $(cd product && ls); do printf 'CopyFile %s,#INSTALLPATH#\r\n' "$f"; done
    printf 'PhaseEnd\r\n'
} > Setup.dis
cat > product.nsi <<'NSI'
Unicode true
Target amd64-unicode
SetCompressor zlib
OutFile "nsis-setup.exe"
Name "Bench"
InstallDir "$PROGRAMFILES64\Bench"
RequestExecutionLevel admin
Section
  SetOutPath "$INSTDIR"
  File "product\*.*"
SectionEnd
NSI
"$DISPACK" build -o ours-setup.exe --engine "$ENGINE" Setup.dis product >/dev/null
makensis -V1 product.nsi >/dev/null
mv complete.product product/.complete

WINEPREFIX=$WORK/wineprefix
. "$ROOT/scripts/wine-env.sh"
# A server that an interrupted run left on this private prefix goes first.
"$WINESERVER" -k >/dev/null 2>&1 </dev/null || true
trap wine_stop EXIT
wine_start
DRIVE_C=$WINEPREFIX/drive_c
mkdir -p "$DRIVE_C/bench"
cp ours-setup.exe nsis-setup.exe "$DRIVE_C/bench/"

# install KIND CPUS: one timed install into C:\bench\KIND-out; prints
# "seconds peak-kilobytes cpu-seconds" (user and system time of the process).
install() {
    kind=$1 cpus=$2
    target=$DRIVE_C/bench/$kind-out
    rm -rf "$target"
    # The previous install's files are written back and their removal done
    # before the clock starts, so that no run pays for another's disk work.
    sync
    case $kind in
        ours) args="-INSTALL=C:\\bench\\$kind-out" ;;
        # The comma ends the unquoted folder before the next option.
        logged) rm -f "$DRIVE_C/bench/logged.log"
                args="-INSTALL=C:\\bench\\$kind-out, -LOG=C:\\bench\\logged.log" ;;
        nsis) args="/S /D=C:\\bench\\$kind-out" ;;
    esac
    exe=$kind
    [ "$kind" = logged ] && exe=ours
    t0=$(date +%s.%N)
    # shellcheck disable=SC2086
    (cd "$DRIVE_C/bench" && taskset -c "$cpus" /usr/bin/time -f "%M %U %S" -o "$WORK/peak.txt" \
        "$WINE64" "C:\\bench\\$exe-setup.exe" $args >/dev/null 2>&1 </dev/null) || {
        echo "bench: the $kind install failed" >&2
        exit 1
    }
    t1=$(date +%s.%N)
    if [ "$kind" = logged ] && ! grep -q "End: exit code 0;" "$DRIVE_C/bench/logged.log"; then
        echo "bench: the logged install left no complete log" >&2
        exit 1
    fi
    for f in $(cd product && ls); do
        cmp -s "product/$f" "$target/$f" || {
            echo "bench: the $kind install wrote a different $f" >&2
            exit 1
        }
    done
    tail -1 "$WORK/peak.txt" | awk -v a="$t0" -v b="$t1" '{ printf "%.3f %d %.2f\n", b - a, $1, $2 + $3 }'
}

both=0-1
one=0
# One untimed round warms the caches and the Wine server.
install ours "$both" >/dev/null
install logged "$both" >/dev/null
install nsis "$both" >/dev/null

best_ours2="" best_nsis2="" best_ours1="" best_nsis1="" peak_ours="" peak_nsis="" cpu_ours="" cpu_nsis=""
best_logged="" cpu_logged=""
min() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b < a) print b; else print a }'; }
max() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b > a) print b; else print a }'; }
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
i=0
while [ $i -lt "$RUNS" ]; do
    r=$(install ours "$both"); set -- $r; best_ours2=$(min "$best_ours2" "$1"); peak_ours=$(max "$peak_ours" "$2"); cpu_ours=$(min "$cpu_ours" "$3")
    r=$(install logged "$both"); set -- $r; best_logged=$(min "$best_logged" "$1"); cpu_logged=$(min "$cpu_logged" "$3")
    r=$(install nsis "$both"); set -- $r; best_nsis2=$(min "$best_nsis2" "$1"); peak_nsis=$(max "$peak_nsis" "$2"); cpu_nsis=$(min "$cpu_nsis" "$3")
    r=$(install ours "$one"); set -- $r; best_ours1=$(min "$best_ours1" "$1")
    r=$(install nsis "$one"); set -- $r; best_nsis1=$(min "$best_nsis1" "$1")
    i=$((i + 1))
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
log_lines=$(wc -l < "$DRIVE_C/bench/logged.log")
rm -rf "$DRIVE_C/bench/ours-out" "$DRIVE_C/bench/logged-out" "$DRIVE_C/bench/nsis-out"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
s_ours=$(stat -c %s ours-setup.exe)
s_nsis=$(stat -c %s nsis-setup.exe)
bytes=$(find product -type f ! -name .complete -printf '%s\n' | awk '{ s += $1 } END { print s }')
echo "Silent install of $(awk -v n="$bytes" 'BEGIN { printf "%.1f", n / 1e6 }') MB in 50 files under Wine" \
     "(best of $RUNS, interleaved; installed files checked byte for byte)"
echo "                                 2 cores   1 core   CPU time   package bytes   peak RSS"
printf '  ours (dispack, x86-64 engine) %7ss %7ss   %7ss   %13s   %6d KB\n' "$best_ours2" "$best_ours1" "$cpu_ours" "$s_ours" "$peak_ours"
printf '  NSIS 3.08 (zlib, amd64)       %7ss %7ss   %7ss   %13s   %6d KB\n' "$best_nsis2" "$best_nsis1" "$cpu_nsis" "$s_nsis" "$peak_nsis"
echo "  time ours/NSIS, 2 cores: $(ratio "$best_ours2" "$best_nsis2") (target <= 1.00)"
echo "  ours 2 cores / 1 core: $(ratio "$best_ours2" "$best_ours1") (target <= 0.60)"
echo "  package ours/NSIS: $(awk -v a="$s_ours" -v b="$s_nsis" 'BEGIN { printf "%.3f", a / b }') (target <= 1.000)"
echo "  cost of -LOG= ($log_lines lines), 2 cores: time with/without $(awk -v a="$best_logged" -v b="$best_ours2" 'BEGIN { printf "%.3f", a / b }')" \
     "($best_logged s / $best_ours2 s, target <= 1.03), CPU time with/without" \
     "$(awk -v a="$cpu_logged" -v b="$cpu_ours" 'BEGIN { printf "%.3f", a / b }')"
echo "  load average (1, 5, 15 min) before: $load_before, after: $load_after (2 cores;"
echo "  other work on the machine stretches the times, the CPU time (user + system, best run) much less)"
