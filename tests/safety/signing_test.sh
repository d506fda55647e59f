#!/bin/sh
# A package signed after packing, as a vendor signs it: a throw-away
# code-signing certificate made with openssl, the package signed with
# osslsigncode, the signature verified, and the signed package installed
# under Wine. dispack refuses to pack an engine that is already signed.
#
#   signing_test.sh DISPACK ENGINE PACKAGE_DIR WORK_DIR WINE64
#
# PACKAGE_DIR holds Setup.dis and its payloads. Runs in the Wine prefix of
# the environment (WINEPREFIX), like every Windows test.
set -eu
dispack=$1 engine=$2 package=$3 work=$4 wine=$5

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The certificate: self-signed, for code signing, valid for two days.
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 \
    -subj "/CN=Corvanta Test Signing" \
    -addext "keyUsage=critical,digitalSignature" \
    -addext "extendedKeyUsage=codeSigning" \
    -keyout key.pem -out cert.pem 2>openssl.log || { cat openssl.log >&2; fail "openssl req"; }

# Pack, then sign.
"$dispack" build -o Setup.exe --engine "$engine" "$package"/*.dis \
    $(ls "$package"/* | grep -v '\.dis$') || fail "dispack build"
osslsigncode sign -certs cert.pem -key key.pem -h sha256 -n "Planting Probe" \
    -in Setup.exe -out Signed.exe >sign.log 2>&1 || { cat sign.log >&2; fail "osslsigncode sign"; }

# The signature verifies against the certificate; the unsigned package has
# none to verify, and a changed byte breaks it.
osslsigncode verify -CAfile cert.pem -in Signed.exe >verify.log 2>&1 ||
    { cat verify.log >&2; fail "the signed package does not verify"; }
grep -q "Signature verification: ok" verify.log || { cat verify.log >&2; fail "no verified signature"; }
if osslsigncode verify -CAfile cert.pem -in Setup.exe >unsigned.log 2>&1; then
    fail "the unsigned package verifies"
fi
cp Signed.exe Tampered.exe
size=$(wc -c <Tampered.exe)
printf 'X' | dd of=Tampered.exe bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile cert.pem -in Tampered.exe >tampered.log 2>&1; then
    fail "a changed package still verifies"
fi

# dispack still reads the signed package, and refuses to pack into it.
"$dispack" list Signed.exe >list.txt || fail "dispack list of the signed package"
grep -qx "package: sealed" list.txt || { cat list.txt >&2; fail "the signed package is not sealed"; }
if "$dispack" build -o Repacked.exe --engine Signed.exe "$package"/*.dis \
    $(ls "$package"/* | grep -v '\.dis$') 2>refused.log; then
    fail "dispack packed into a signed engine"
fi
grep -q "sign the package after packing" refused.log || { cat refused.log >&2; fail "refusal"; }
[ ! -e Repacked.exe ] || fail "a refused build left Repacked.exe"

# The signed package installs under Wine.
install_dir="C:\\signed-install-$$"
linux_install="$WINEPREFIX/drive_c/signed-install-$$"
rm -rf "$linux_install"
status=0
WINEDEBUG=-all "$wine" Signed.exe "-INSTALL=$install_dir" >wine.log 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat wine.log >&2; fail "the signed package exited with $status"; }
# The log is named after the executable.
[ "$(cat Signed.log)" = "$(printf 'Setup finished successfully!\r')" ] || fail "log: $(cat Signed.log)"
cmp "$linux_install/Product.txt" "$package/Product.txt" || fail "Product.txt"
[ "$(cat "$linux_install/Tool.bin")" = "PACKED tool bytes" ] || fail "Tool.bin"
[ -d "$linux_install/packed-script" ] || fail "the packed script did not run"
rm -rf "$linux_install"
echo "signed package: verified and installed"
