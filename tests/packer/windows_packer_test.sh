#!/bin/sh
# The Windows packer (dispack.exe under Wine) against the Linux packer: the
# same inputs must give the same package, byte for byte, and the same output
# of list, extract, check and --print-script. The Windows packer is given its
# paths as a Windows user writes them: with a drive letter and '\', with '/',
# and as UNC paths (\\localhost\root\... , which the test maps to / through
# the prefix's dosdevices/unc).
#
#   windows_packer_test.sh LINUX_DISPACK WINDOWS_DISPACK ENGINE PEBBLENOTE_EXE
#                          SOURCE_ROOT TREE_SOURCE WORK WINE64
#
# TREE_SOURCE is a real product tree with file names in several folders.
# Runs in the Wine prefix of the environment (WINEPREFIX).
set -u
linux=$1 windows=$2 engine=$3 pebblenote=$4 root=$5 tree_source=$6 work=$7 wine=$8
sample=$root/examples/pebblenote
failures=0
checks=0

fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
# check DESCRIPTION COMMAND...: counts a check, reports it when COMMAND fails.
check() {
    what=$1
    shift
    checks=$((checks + 1))
    "$@" || fail "$what"
}
same_file() { cmp "$1" "$2" >/dev/null 2>&1; }
no_double_cr() { ! grep -q "$(printf '\r\r')" "$1"; }
has_cr_lf() { grep -q "$(printf '\r')\$" "$1"; }

# Windows forms of a Linux path: Z:\a\b, Z:/a/b and \\localhost\root\a\b.
drive_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }
slash_path() { printf 'Z:%s' "$1"; }
unc_path() { printf '\\\\localhost\\root%s' "$1" | tr '/' '\\'; }
win() { WINEDEBUG=-all "$wine" "$windows" "$@"; }

rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"
unc_link="$WINEPREFIX/dosdevices/unc/localhost/root"
mkdir -p "$(dirname "$unc_link")"
ln -sfn / "$unc_link"
trap 'rm -f "$unc_link"' EXIT
L=$work/linux
W=$work/windows

# --- The sample product, packed as tests/sample packs it --------------------
# No SOURCE_DATE_EPOCH: the files' own times, read on each system.
(
    unset SOURCE_DATE_EPOCH
    "$linux" build -o "$L/Uninstall.exe" --engine "$engine" "$sample/Uninstall.dis" &&
    "$linux" build -o "$L/Setup.exe" --engine "$engine" --license "$sample/License.txt" \
        "$sample/Setup.dis" "$sample/sounds" "$sample/drivers" "$pebblenote" "$L/Uninstall.exe"
) || fail "the Linux packer could not pack the sample"
(
    unset SOURCE_DATE_EPOCH
    win build -o "$(unc_path "$W")\\Uninstall.exe" --engine "$(slash_path "$engine")" \
        "$(drive_path "$sample")\\Uninstall.dis" &&
    # The two uninstallers were written at different moments (seconds apart
    # on a busy machine); as payloads they must carry the same time.
    touch -r "$L/Uninstall.exe" "$W/Uninstall.exe" &&
    win build -o "$(drive_path "$W")\\Setup.exe" --engine "$(drive_path "$engine")" \
        --license "$(slash_path "$sample")/License.txt" "$(unc_path "$sample")\\Setup.dis" \
        "$(drive_path "$sample")\\sounds" "$(slash_path "$sample")/drivers/" \
        "$(drive_path "$pebblenote")" "$(unc_path "$W")\\Uninstall.exe"
) || fail "the Windows packer could not pack the sample"
check "sample Uninstall.exe differs" same_file "$L/Uninstall.exe" "$W/Uninstall.exe"
check "sample Setup.exe differs" same_file "$L/Setup.exe" "$W/Setup.exe"

"$linux" list --paths "$L/Setup.exe" >"$L/list.txt"
win list --paths "$(drive_path "$W")\\Setup.exe" >"$W/list.txt"
check "list --paths differs" same_file "$L/list.txt" "$W/list.txt"
check "list --paths names the tree's files with /" grep -q "	files/Help/en/Shortcuts.txt$" "$W/list.txt"

# The stored script on standard output: CR LF stays CR LF, byte for byte.
(cd "$sample" && "$linux" build -o "$L/printed.exe" --engine "$engine" --print-script \
    --allow missing-payload Setup.dis >"$L/script.txt" 2>/dev/null)
(cd "$sample" && win build -o "$(drive_path "$W")\\printed.exe" --engine "$(drive_path "$engine")" \
    --print-script --allow missing-payload Setup.dis >"$W/script.txt" 2>/dev/null)
check "--print-script differs" same_file "$L/script.txt" "$W/script.txt"
check "--print-script wrote CR CR LF" no_double_cr "$W/script.txt"
check "--print-script wrote no CR LF" has_cr_lf "$W/script.txt"

"$linux" extract "$L/Setup.exe" -C "$L/extracted" >/dev/null
win extract "$(slash_path "$W")/Setup.exe" -C "$(unc_path "$W")\\extracted\\all" >/dev/null
check "extracted payloads differ" diff -r "$L/extracted" "$W/extracted/all"
check "extract wrote nothing" test -f "$W/extracted/all/Help~en~Shortcuts.txt"

# The package that the Windows packer wrote installs and uninstalls.
run="$work/run"
product="$run/Programs/Pebblenote"
mkdir -p "$run"
cp "$W/Setup.exe" "$run/Setup.exe"
(cd "$run" && WINEDEBUG=-all "$wine" Setup.exe "-INSTALL=$(drive_path "$product")" >/dev/null 2>&1)
check "the Windows-packed Setup.exe failed ($?)" test -f "$product/Pebblenote.exe"
check "Setup.log: $(cat "$run/Setup.log" 2>/dev/null)" \
    test "$(cat "$run/Setup.log" 2>/dev/null)" = "$(printf 'Setup finished successfully!\r')"
check "the tree was not installed" same_file "$sample/files/Help/de/Shortcuts.txt" "$product/Help/de/Shortcuts.txt"
(cd "$run" && WINEDEBUG=-all "$wine" "$product/Uninstall.exe" -SILENT >/dev/null 2>&1)
check "Uninstall.log: $(cat "$run/Uninstall.log" 2>/dev/null)" \
    test "$(cat "$run/Uninstall.log" 2>/dev/null)" = "$(printf 'Uninstall finished successfully!\r')"
# The uninstaller removes itself and the emptied folder once it has ended.
for _ in $(seq 150); do [ -d "$product" ] || break; sleep 0.1; done
check "the product was not removed" test ! -d "$product"

# --- A product tree with file names in several folders ----------------------
mkdir -p "$work/tree"
cp "$root/tests/packer/tree/Setup.dis" "$root/tests/packer/tree/Uninstall.dis" "$work/tree/"
ln -sfn "$tree_source" "$work/tree/files"
export SOURCE_DATE_EPOCH=1700000000
for script in Setup Uninstall; do
    "$linux" build -o "$L/tree-$script.exe" --engine "$engine" "$work/tree/$script.dis" ||
        fail "the Linux packer could not pack the tree ($script)"
    (cd "$work/tree" && win build -o "..\\windows\\tree-$script.exe" --engine "$(drive_path "$engine")" \
        "$script.dis") || fail "the Windows packer could not pack the tree ($script)"
    check "tree $script.exe differs" same_file "$L/tree-$script.exe" "$W/tree-$script.exe"
done
"$linux" list --paths "$L/tree-Setup.exe" >"$L/tree-list.txt"
win list --paths "$(unc_path "$W")\\tree-Setup.exe" >"$W/tree-list.txt"
check "tree list --paths differs" same_file "$L/tree-list.txt" "$W/tree-list.txt"
check "tree list has renamed repeated names" grep -q "~" "$W/tree-list.txt"

# dispack.exe in dist/win64 finds the release engine in dist/win32.
mkdir -p "$work/dist/win64" "$work/dist/win32"
cp "$windows" "$work/dist/win64/dispack.exe"
cp "$engine" "$work/dist/win32/engine.exe"
(cd "$work/tree" && WINEDEBUG=-all "$wine" "$work/dist/win64/dispack.exe" build -o "..\\windows\\default.exe" \
    Uninstall.dis) || fail "dispack.exe without --engine"
check "the default engine is not dist/win32/engine.exe" same_file "$L/tree-Uninstall.exe" "$W/default.exe"

# --- check: the same findings, in each form ---------------------------------
mkdir -p "$work/check"
printf 'PhaseBegin 0\r\nSet #PROGRAM#,Checked\r\nPhaseEnd\r\nPhaseBegin 1\r\nCopyFile "Readme.txt", "#INSTALLPATH#"\r\nCopyFlie Notes.txt,#INSTALLPATH#\r\nIf #UNSET# ~ 1\r\nSetRegistry HKLM,"Software\\X","V","1"\r\nPhaseEnd\r\n' \
    >"$work/check/Setup.dis"
echo notes >"$work/check/Notes.txt"
for format in text msvc json; do
    (cd "$work/check" && "$linux" check --format=$format Setup.dis Notes.txt >"$L/check-$format.txt")
    linux_status=$?
    (cd "$work/check" && win check --format=$format Setup.dis Notes.txt >"$W/check-$format.txt")
    windows_status=$?
    check "check --format=$format: exit $windows_status, not $linux_status" test "$windows_status" = "$linux_status"
    check "check --format=$format differs" same_file "$L/check-$format.txt" "$W/check-$format.txt"
done
check "check found no error" test "$linux_status" = 1
check "msvc form: $(head -1 "$W/check-msvc.txt")" \
    grep -Eq '^Setup\.dis\(5,10\): error dp1007: "Readme\.txt" is not among the packed payloads \[missing-payload\]$' \
    "$W/check-msvc.txt"
check "msvc form of a warning" grep -Eq '^Setup\.dis\([0-9]+,[0-9]+\): warning dp2001: .*\[unknown-command\]$' \
    "$W/check-msvc.txt"
(cd "$work/check" && "$linux" build --format=msvc -o out.exe --engine "$engine" Setup.dis Notes.txt \
    2>"$L/build-errors.txt")
linux_status=$?
(cd "$work/check" && win build --format=msvc -o out.exe --engine "$(drive_path "$engine")" Setup.dis \
    Notes.txt 2>"$W/build-errors.txt")
windows_status=$?
check "a refused build exits $windows_status, not $linux_status" test "$windows_status" = "$linux_status"
check "a refused build reports differently" same_file "$L/build-errors.txt" "$W/build-errors.txt"
check "a refused build reports in msvc form" grep -q '^Setup\.dis(5,10): error dp1007: ' "$W/build-errors.txt"
check "a refused build wrote a package" test ! -e "$work/check/out.exe"
check "a refused build left a file behind" test "$(ls -A "$work/check" | wc -l)" = 2

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
