#!/bin/sh
# Tests the engine we ship, dist/win32/engine.exe: the Windows tests, built
# for i686 in build/win32 beside that engine and packing it, run under 32-bit
# Wine in a small virtual machine (scripts/vm/run-in-vm.sh), since the kernel
# of a build machine need not run 32-bit programs.
#
#   scripts/run-win32-tests.sh smoke   the sample product's silent install and
#                                      removal, and one wizard walk (make test)
#   scripts/run-win32-tests.sh full    the silent, fault and wizard suites, the
#                                      100 MB install and every other Windows
#                                      test (make test-win32)
#
# The tests run in a 64-bit Windows prefix, where the engine runs under WOW64
# as on 64-bit Windows; `full` also runs the silent suite in a 32-bit prefix.
# Each prefix is made once on a disk image kept in build/win32/vm/ (remade
# when Wine changes); every run sees the image through a throw-away
# copy-on-write layer. Logs: build/win32/vm/logs-<prefix>/<suite>.log.
# Prints one line per suite and exits non-zero when one fails.
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
TREE=$ROOT/build/win32
VM=$TREE/vm
RUN_IN_VM=$ROOT/scripts/vm/run-in-vm.sh
GUEST=$ROOT/scripts/vm/win32-guest.sh
mode=${1:-smoke}

case $mode in
    smoke)
        targets="sample_tests wizard_walks_tests wizard_walks_desktop_pin"
        runs="wow64:smoke"
        limit=1800 ;;
    full)
        targets="all big_install_package"
        runs="wow64:silent,fault,wizard,bigcopy,others win32:silent"
        limit=10800 ;;
    *) sed -n '7,11p' "$0" >&2; exit 2 ;;
esac

mkdir -p "$VM"
rm -rf "$VM"/logs-*  # no suite line from an earlier run
# shellcheck disable=SC2086
cmake --build "$TREE" --target $targets >"$VM/build.log" 2>&1 || {
    tail -40 "$VM/build.log"
    echo "run-win32-tests: the 32-bit tests did not build (log: $VM/build.log)"
    exit 1
}
if ! cmp -s "$TREE/startup/engine.exe" dist/win32/engine.exe; then
    echo "run-win32-tests: dist/win32/engine.exe is not the engine of build/win32; run make build"
    exit 1
fi
echo "engine under test: dist/win32/engine.exe ($(stat -c %s dist/win32/engine.exe) bytes," \
     "$(i686-w64-mingw32-objdump -f dist/win32/engine.exe | sed -n 's/.*file format //p')," \
     "sha256 $(sha256sum dist/win32/engine.exe | cut -c1-16)), packed by build/native/packer/dispack"

# prefix NAME: the image that holds the prefix NAME, made when missing or
# made by another Wine. Where this machine runs 32-bit programs itself (and
# as root, the machine's user), it makes the prefix here, ten times faster:
# the guest runs this machine's own Wine, so the prefix is the same.
prefix() {
    image=$VM/$1.img
    # Remade for another Wine, or another recipe.
    stamp="$(/usr/lib/wine/wine64 --version) $(stat -c %Y /usr/share/wine/wine.inf)
$(sed -n '/^if \[ "$action" = prefix \]/,/^fi/p' "$GUEST" | cksum)"
    if [ -f "$image" ] && [ "$(cat "$image.stamp" 2>/dev/null)" = "$stamp" ]; then
        return 0
    fi
    rm -rf "$image" "$image.stamp" "$image.new" "$VM/stage"
    truncate -s 8G "$image.new"
    start=$(date +%s)
    if [ "${WIN32_PREFIX_IN_VM:-}" != 1 ] && [ "$(id -u)" = 0 ] &&
       /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo "making the $1 Wine prefix"
        sh "$GUEST" prefix "$1" "$VM/stage" \
            >"$VM/prefix-$1.log" 2>&1 || { tail -20 "$VM/prefix-$1.log"; return 1; }
        # The user's folders are links to HOME: to the machine's HOME.
        find "$VM/stage/$1/drive_c/users" -type l | while read -r link; do
            [ "$(readlink "$link")" = "$VM/stage/home" ] && ln -sfn /run/disk/home "$link"
        done
        mkfs.ext4 -q -F -O ^has_journal -E nodiscard -d "$VM/stage" "$image.new"
        rm -rf "$VM/stage"
    else
        echo "making the $1 Wine prefix in the machine (once; some minutes)"
        mkfs.ext4 -q -F -O ^has_journal -E nodiscard "$image.new"
        "$RUN_IN_VM" -w "$TREE" -d "$image.new" -t 3600 sh "$GUEST" prefix "$1" \
            >"$VM/prefix-$1.log" 2>&1 || {
            tail -20 "$VM/prefix-$1.log"
            rm -f "$image.new"
            echo "run-win32-tests: the $1 prefix could not be made (log: $VM/prefix-$1.log)"
            return 1
        }
    fi
    mv "$image.new" "$image"
    echo "$stamp" >"$image.stamp"
    echo "made the $1 prefix in $(($(date +%s) - start)) s"
}

failed=0
for run in $runs; do
    name=${run%%:*}
    suites=$(echo "${run#*:}" | tr , ' ')
    prefix "$name" || { failed=1; continue; }
    logs=$VM/logs-$name
    rm -rf "$logs"
    start=$(date +%s)
    # shellcheck disable=SC2086
    "$RUN_IN_VM" -w "$TREE" -D "$VM/$name.img" -t "$limit" \
        sh "$GUEST" suites "$name" "$logs" $suites >"$VM/machine-$name.log" 2>&1
    status=$?
    echo "machine ($name prefix): $(($(date +%s) - start)) s, exit status $status"
    [ "$status" -eq 0 ] || failed=1
    [ "$status" -eq 125 ] && tail -30 "$VM/machine-$name.log"
    for suite in $suites; do
        log=$logs/$suite.log
        line=$(grep -E 'tests passed|No tests were found' "$log" 2>/dev/null | tail -1)
        total=$(echo "$line" | sed -n 's/.* out of \([0-9]*\).*/\1/p')
        fails=$(echo "$line" | sed -n 's/.*, \([0-9]*\) tests* failed.*/\1/p')
        total=${total:-0} fails=${fails:-0}
        printf '%-16s %5d passed %5d failed  (%s)\n' "$suite-$name" $((total - fails)) "$fails" \
            "$(tail -1 "$log" 2>/dev/null)"
        if [ "$total" -eq 0 ] || [ "$fails" -ne 0 ]; then
            failed=1
            grep -E '^\s*[0-9]+ - |\*\*\*' "$log" 2>/dev/null | tail -20
            echo "   (full log: $log)"
        fi
    done
done
exit $failed
