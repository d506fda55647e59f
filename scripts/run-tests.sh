#!/bin/sh
# Runs every test suite and prints each suite's pass/fail counts:
# native unit tests, the same tests with ASan/UBSan, the fuzzers, the
# threaded parts under the thread sanitizer, and the
# Windows tests under Wine (with real windows under Xvfb).
# Exits non-zero when any suite fails.
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=${JOBS:-2}
summary=""
failed=0

run_suite() {  # name build-dir ctest-args...
    name=$1 dir=$2
    shift 2
    log="$ROOT/build/test-$name.log"
    echo "== $name"
    (cd "$dir" && ctest --output-on-failure --timeout 600 "$@") >"$log" 2>&1
    rc=$?
    line=$(grep -E 'tests passed|No tests were found' "$log" | tail -1)
    total=$(echo "$line" | sed -n 's/.* out of \([0-9]*\).*/\1/p')
    fails=$(echo "$line" | sed -n 's/.*, \([0-9]*\) tests* failed.*/\1/p')
    total=${total:-0}
    fails=${fails:-0}
    if [ "$rc" -ne 0 ] || [ "$total" -eq 0 ]; then
        failed=1
        grep -E '^\s*[0-9]+ - |Failed|\*\*\*' "$log" | tail -40
        echo "   (full log: $log)"
    fi
    passes=$((total - fails))
    summary="$summary$(printf '%-10s %5d passed %5d failed' "$name" "$passes" "$fails")\n"
}

run_suite native "$ROOT/build/native" -L '^native$' -j "$JOBS"
run_suite sanitizer "$ROOT/build/native" -L '^sanitizer$' -j "$JOBS"
run_suite fuzz "$ROOT/build/native" -L '^fuzz$' -j "$JOBS"
run_suite thread "$ROOT/build/native" -L '^thread$' -j "$JOBS"

. "$ROOT/scripts/wine-env.sh"
wine_start
run_suite wine "$ROOT/build/win64" -L '^wine$' -j "$JOBS"
run_suite gui "$ROOT/build/win64" -L '^gui$' -j 1
wine_stop

echo
echo "Test summary"
printf "$summary"
if [ "$failed" -ne 0 ]; then
    echo "FAILED"
    exit 1
fi
echo "ALL PASSED"
