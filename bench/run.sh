#!/bin/sh
# Benchmarks (not tests): prints figures and ratios from one run on this
# machine, and never fails on them.
#
#  1. Extraction: the engine's ZIP reader (native build) against Info-ZIP
#     unzip, on one encrypted archive of about 125 MB of mixed compressible
#     and random files made with `zip -P`: into memory (reader_bench) against
#     `unzip -p` to /dev/null, and to files (`dispack unzip`) against
#     `unzip -d`.
#  2. Packing: `dispack build` at its default level against makensis (NSIS,
#     zlib, amd64-unicode) on the same files: package size and time.
#  3. Installing: bench/install.sh packs a 100 MB product with both and
#     installs each silently under Wine, on both cores and on one.
#
# Each time is the best of three runs. Work files live in build/bench/.
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/bench
DISPACK=$ROOT/build/native/packer/dispack
READER=$ROOT/build/native/bench/reader_bench
PASSWORD=bench-password
RUNS=3
EXTRACT_RUNS=5

for tool in zip unzip makensis; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing (run scripts/install-deps.sh)"; exit 1; }
done
if [ ! -x "$DISPACK" ] || [ ! -x "$READER" ]; then
    cmake --preset native >/dev/null
    cmake --build --preset native --target dispack reader_bench packer_test_stubs >/dev/null
fi

mkdir -p "$WORK"
cd "$WORK"
if [ ! -f data/.complete ]; then
    rm -rf data && mkdir data
    "$READER" generate data
    touch data/.complete
fi
if [ ! -f mixed.zip ] || [ "$(cat mixed.password 2>/dev/null)" != "$PASSWORD" ]; then
    rm -f mixed.zip
    (cd data && zip -q -r -P "$PASSWORD" ../mixed.zip . -x .complete)
    echo "$PASSWORD" > mixed.password
fi
printf 'PhaseBegin 0\r\nSet #PROGRAM#,Bench\r\nPhaseEnd\r\nPhaseBegin 1\r\nPhaseEnd\r\n' > Setup.dis

now() { date +%s.%N; }
# best_of CMD...: runs CMD $RUNS times, prints the shortest wall time in s.
best_of() {
    best=""
    i=0
    while [ $i -lt $RUNS ]; do
        t0=$(now)
        if ! "$@" >/dev/null 2>"$WORK/last.err"; then
            echo "bench: $1 failed: $(head -c 300 "$WORK/last.err")" >&2
            exit 1
        fi
        t1=$(now)
        best=$(awk -v a="$t0" -v b="$t1" -v best="$best" \
            'BEGIN { t = b - a; if (best == "" || t < best) best = t; printf "%.3f", best }')
        i=$((i + 1))
    done
    echo "$best"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mb() { awk -v n="$1" 'BEGIN { printf "%.1f", n / 1e6 }'; }

data_bytes=$(find data -type f ! -name .complete -printf '%s\n' | awk '{ s += $1 } END { print s }')
zip_bytes=$(stat -c %s mixed.zip)
echo "Input: $(mb "$data_bytes") MB in $(find data -type f ! -name .complete | wc -l) files;" \
     "archive build/bench/mixed.zip $(mb "$zip_bytes") MB (zip -P, deflate)"
echo

# 1. Extraction.
memory_reader() { "$READER" extract mixed.zip "$PASSWORD"; }
memory_unzip() { unzip -p -P "$PASSWORD" mixed.zip >/dev/null; }
files_dispack() { rm -rf out_dispack; "$DISPACK" unzip mixed.zip -P "$PASSWORD" -C out_dispack; }
files_unzip() { rm -rf out_unzip; unzip -qq -o -P "$PASSWORD" mixed.zip -d out_unzip; }
# Interleaved rounds, so that a change in the machine's load hits every
# reader alike; each figure is the best of its rounds.
t_reader="" t_unzip_p="" t_dispack_unzip="" t_unzip_d=""
shorter() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b < a) print b; else print a }'; }
round=0
while [ $round -lt $EXTRACT_RUNS ]; do
    t=$(RUNS=1 best_of memory_reader); t_reader=$(shorter "$t_reader" "$t")
    t=$(RUNS=1 best_of memory_unzip); t_unzip_p=$(shorter "$t_unzip_p" "$t")
    t=$(RUNS=1 best_of files_dispack); t_dispack_unzip=$(shorter "$t_dispack_unzip" "$t")
    t=$(RUNS=1 best_of files_unzip); t_unzip_d=$(shorter "$t_unzip_d" "$t")
    round=$((round + 1))
done
if ! diff -r out_dispack out_unzip >/dev/null; then
    echo "bench: warning: dispack unzip and unzip extracted different files"
fi
rm -rf out_dispack out_unzip
echo "Extraction of $(mb "$data_bytes") MB          seconds     MB/s"
printf '  engine reader, into memory   %7s  %7s\n' "$t_reader" "$(ratio "$(mb "$data_bytes")" "$t_reader")"
printf '  unzip -p > /dev/null         %7s  %7s\n' "$t_unzip_p" "$(ratio "$(mb "$data_bytes")" "$t_unzip_p")"
printf '  dispack unzip, to files      %7s  %7s\n' "$t_dispack_unzip" "$(ratio "$(mb "$data_bytes")" "$t_dispack_unzip")"
printf '  unzip -d, to files           %7s  %7s\n' "$t_unzip_d" "$(ratio "$(mb "$data_bytes")" "$t_unzip_d")"
echo "  speed-up into memory: $(ratio "$t_unzip_p" "$t_reader")x (target >= 1.5x)," \
     "to files: $(ratio "$t_unzip_d" "$t_dispack_unzip")x (target >= 2x)"
echo

# 2. Packing.
ENGINE=""
for candidate in "$ROOT/dist/win32/engine.exe" "$ROOT/build/win32/startup/engine.exe" \
                 "$ROOT/build/native/tests/packer/stubs/stub64.exe"; do
    if [ -f "$candidate" ]; then ENGINE=$candidate; break; fi
done
[ -n "$ENGINE" ] || { echo "bench: no engine to pack into (run make build)"; exit 1; }
cat > bench.nsi <<'NSI'
Unicode true
Target amd64-unicode
SetCompressor zlib
OutFile "nsis.exe"
Name "Bench"
InstallDir "$PROGRAMFILES64\Bench"
RequestExecutionLevel admin
Section
  SetOutPath "$INSTDIR"
  File "Setup.dis"
  File /r /x .complete "data\*.*"
SectionEnd
NSI
pack_dispack() { "$DISPACK" build -o dispack.exe --engine "$ENGINE" Setup.dis data; }
pack_nsis() { makensis -V1 bench.nsi; }
mv data/.complete .complete   # not a payload
t_dispack=$(best_of pack_dispack)
t_nsis=$(best_of pack_nsis)
mv .complete data/.complete
s_dispack=$(stat -c %s dispack.exe)
s_nsis=$(stat -c %s nsis.exe)
echo "Packing the same files                 bytes   seconds"
printf '  dispack build (default level) %12s  %7s   engine %s (%s bytes)\n' "$s_dispack" "$t_dispack" \
    "${ENGINE#"$ROOT"/}" "$(stat -c %s "$ENGINE")"
printf '  makensis (zlib, amd64-unicode)%12s  %7s\n' "$s_nsis" "$t_nsis"
echo "  size dispack/NSIS: $(awk -v a="$s_dispack" -v b="$s_nsis" 'BEGIN { printf "%.3f", a / b }') (target <= 1.000)," \
     "time dispack/NSIS: $(ratio "$t_dispack" "$t_nsis") (target <= 1.00)"
echo

# 3. Installing: the install benchmark (bench/install.sh) with the x86-64
#    engine, the one that runs here.
ENGINE64=""
for candidate in "$ROOT/dist/win64/engine.exe" "$ROOT/build/win64/startup/engine.exe"; do
    if [ -f "$candidate" ]; then ENGINE64=$candidate; break; fi
done
[ -n "$ENGINE64" ] || { echo "bench: no x86-64 engine (run make build)"; exit 1; }
"$ROOT/bench/install.sh" "$ENGINE64" "$DISPACK" "$READER" "$WORK/install"
