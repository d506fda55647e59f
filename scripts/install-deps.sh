#!/bin/sh
# Installs the Debian packages that the build and the tests need.
# Does nothing when everything is present; uses sudo when not root.
set -eu

PACKAGES="
cmake ninja-build g++ clang libclang-rt-14-dev make
g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64 libz-mingw-w64-dev
binutils-source dpkg-dev
zlib1g-dev libdeflate-dev googletest
wine64 wine
xvfb xauth imagemagick
zip unzip p7zip-full nsis
openssl osslsigncode
qemu-system-x86 linux-image-amd64 busybox-static e2fsprogs
wine32:i386
"

missing=""
for p in $PACKAGES; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    case "$status" in
        "install ok installed") ;;
        *) missing="$missing $p" ;;
    esac
done

if [ -z "$missing" ]; then
    exit 0
fi

echo "install-deps: installing:$missing"
SUDO=""
if [ "$(id -u)" != "0" ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine (for the 32-bit engine's tests, which run in a virtual
# machine) comes from Debian's i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
echo "install-deps: done"
