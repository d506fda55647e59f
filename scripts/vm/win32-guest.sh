#!/bin/sh
# The part of the 32-bit test run that runs inside the virtual machine
# (scripts/run-win32-tests.sh starts it with run-in-vm.sh). The machine's
# disk (/run/disk) holds a Wine prefix and its HOME; the build tree is the
# shared work folder.
#
#   win32-guest.sh prefix NAME [DISK]  makes the prefix DISK/NAME (DISK:
#                                      /run/disk): "wow64" is a 64-bit
#                                      Windows, where the engine runs under
#                                      WOW64; "win32" a 32-bit one
#   win32-guest.sh suites NAME LOGDIR SUITE...
#                                      runs the suites (smoke, silent, fault,
#                                      wizard, bigcopy, others) in that prefix,
#                                      each with its log LOGDIR/SUITE.log
set -u
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
TREE=$ROOT/build/win32
action=$1 name=$2
shift 2
disk=/run/disk
[ "$action" = prefix ] && [ $# -gt 0 ] && disk=$1
# Nothing of the caller's Wine settings (run-in-vm.sh passes WINE*).
unset WINEARCH WINEDLLOVERRIDES WINELOADER WINESERVER
export WINEPREFIX=$disk/$name HOME=$disk/home
[ "$name" = win32 ] && export WINEARCH=win32

if [ "$action" = prefix ]; then
    rm -rf "$WINEPREFIX" "$HOME"
    mkdir -p "$HOME"
    loader=/usr/lib/wine/wine64
    [ "$name" = win32 ] && loader=/usr/lib/wine/wine
    # The first program makes the prefix, but waits for it at most three
    # minutes, too short under emulation; the server's end marks the end of
    # the work.
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$loader" cmd /c ver >/dev/null 2>&1 </dev/null
    /usr/lib/wine/wineserver -w
    "$loader" cmd /c echo made </dev/null 2>/dev/null | grep -q made || {
        echo "win32-guest: the prefix $name could not be made" >&2
        exit 1
    }
    # A program that crashes prints its backtrace and ends, with no dialog
    # waiting for a click.
    "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1 </dev/null
    /usr/lib/wine/wineserver -w
    exit 0
fi

logs=$1
shift
mkdir -p "$logs"
# CTest's own files (Testing/) stay in the machine: their quick rewrites and
# renames on the shared folder were seen to leave the guest a stale view.
if [ -d /run/vm ]; then
    mkdir -p "$TREE/Testing" && mount -t tmpfs ctest "$TREE/Testing"
fi
# The exe files that the tests start are read from the shared folder: a
# private Xvfb, a persistent server and the first program, as on the host.
. "$ROOT/scripts/wine-env.sh"
wine_start
wine_pin_desktops "$TREE/tests/wizard_walks/DesktopPin.exe" /usr/lib/wine/wine
# Limits without a TIMEOUT of their own grow as the others do (EngineOptions).
scale=$(sed -n 's/^ENGINE_TEST_TIME_SCALE:STRING=//p' "$TREE/CMakeCache.txt")
failed=0
set -f  # the patterns below are for ctest, not file names
silent='^(SampleProduct|SilentRun|InitFiles|BuiltinVariables|StoredRecord|Uninstall|EngineResources|PackedEnginePayloads|SealedPackage|PayloadAccess|ProgramLookup|SelfRemoval|StartupTask.*)\.'
fault='^(FaultSuite|FaultSuiteDiskFull)\.'
for suite; do
    case $suite in
        smoke) select="-R ^(SampleProduct\.InstallsAndUninstallsWithoutTrace|SampleProductWizard\..*)\$" ;;
        silent) select="-L ^wine\$ -R $silent" ;;
        fault) select="-R $fault" ;;
        wizard) select="-L ^gui\$" ;;
        bigcopy) select="-L ^bigcopy\$" ;;
        others) select="-L ^wine\$ -E $silent|$fault" ;;
        *) echo "win32-guest: no suite $suite" >&2; exit 2 ;;
    esac
    start=$(cut -d' ' -f1 /proc/uptime)
    # shellcheck disable=SC2086
    (cd "$TREE" && ctest --output-on-failure --timeout "$((600 * scale))" $select) \
        >"$logs/$suite.log" 2>&1 || failed=1
    echo "$suite: $(awk -v a="$start" -v b="$(cut -d' ' -f1 /proc/uptime)" \
        'BEGIN { printf "%d", b - a }') s in the machine" >>"$logs/$suite.log"
done
wine_stop
exit $failed
