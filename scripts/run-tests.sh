#!/bin/sh
# Runs every test suite and prints each suite's pass/fail counts:
# native unit tests, the same tests with ASan/UBSan, the fuzzers, the
# threaded parts under the thread sanitizer, the Windows tests under Wine
# (with real windows under Xvfb), and a smoke test of the 32-bit engine we
# ship, in a virtual machine (scripts/run-win32-tests.sh).
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
    count_suite "$name" "$log" $?
}

count_suite() {  # name log exit-status: adds the suite's line from its ctest log
    name=$1 log=$2 rc=$3
    line=$(grep -E 'tests passed|No tests were found' "$log" 2>/dev/null | tail -1)
    total=$(echo "$line" | sed -n 's/.* out of \([0-9]*\).*/\1/p')
    fails=$(echo "$line" | sed -n 's/.*, \([0-9]*\) tests* failed.*/\1/p')
    total=${total:-0}
    fails=${fails:-0}
    if [ "$rc" -ne 0 ] || [ "$total" -eq 0 ]; then
        failed=1
        grep -E '^\s*[0-9]+ - |Failed|\*\*\*' "$log" 2>/dev/null | tail -40
        # What the failing tests said, so that a run's output alone explains it.
        grep -A6 -E ': Failure$|gave up' "$log" 2>/dev/null | cut -c1-300 | head -80
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
wine_pin_desktops "$ROOT/build/win64/tests/wizard_walks/DesktopPin.exe"
run_suite wine "$ROOT/build/win64" -L '^wine$' -j "$JOBS"
run_suite gui "$ROOT/build/win64" -L '^gui$' -j 1
wine_stop

echo "== win32"
log="$ROOT/build/test-win32.log"
"$ROOT/scripts/run-win32-tests.sh" smoke >"$log" 2>&1
count_suite win32 "$ROOT/build/win32/vm/logs-wow64/smoke.log" $?
cat "$log"

echo
echo "Test summary"
printf "$summary"
if [ "$failed" -ne 0 ]; then
    echo "FAILED"
    exit 1
fi
echo "ALL PASSED"
