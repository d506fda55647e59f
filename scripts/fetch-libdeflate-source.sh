#!/bin/sh
# Unpacks the sources of libdeflate, the packer's compressor, for the
# Windows packers: the Debian source package of the very version that the
# Linux packer links (libdeflate-dev), with Debian's patches applied. The
# same code on every system is what makes the packages the same bytes.
#
#   fetch-libdeflate-source.sh DEST
#
# Does nothing when DEST already holds that version. apt-get fetches the
# source package through a source list of its own under DEST.apt, so the
# system's apt configuration is left as it is.
set -eu
dest=$1
version=$(dpkg-query -W -f='${Version}' libdeflate-dev 2>/dev/null || true)
if [ -z "$version" ]; then
    echo "fetch-libdeflate-source: libdeflate-dev is not installed" >&2
    exit 1
fi
if [ -f "$dest/lib/deflate_compress.c" ] && [ "$(cat "$dest/.debian-version" 2>/dev/null)" = "$version" ]; then
    exit 0
fi

work="$dest.apt"
rm -rf "$work" "$dest"
mkdir -p "$work/sources.d" "$work/lists/partial" "$work/cache/archives/partial" "$work/download"
# The system's own Debian mirror and suites, as source entries.
suites=""
uri=""
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    u=$(sed -n 's/^URIs: *//p' "$f" | head -1)
    s=$(sed -n 's/^Suites: *//p' "$f" | head -1)
    case "$u" in
        *debian-security*) ;;
        *debian*) uri=$u; suites=$s ;;
    esac
done
if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    line=$(grep -E '^deb +[^ ]*/debian/? ' /etc/apt/sources.list | head -1 || true)
    uri=$(echo "$line" | awk '{print $2}')
    suites=$(echo "$line" | awk '{print $3}')
fi
: "${uri:=http://deb.debian.org/debian}"
: "${suites:=bookworm}"
cat >"$work/sources.d/debian-src.sources" <<SOURCES
Types: deb-src
URIs: $uri
Suites: $suites
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
: >"$work/none.list"
apt_options="-o Dir::Etc::SourceList=$work/none.list -o Dir::Etc::SourceParts=$work/sources.d
    -o Dir::State::Lists=$work/lists -o Dir::Cache=$work/cache -o APT::Sandbox::User=root"
# shellcheck disable=SC2086
apt-get $apt_options -qq update >"$work/update.log" 2>&1 ||
    { cat "$work/update.log" >&2; echo "fetch-libdeflate-source: apt-get update failed" >&2; exit 1; }
# shellcheck disable=SC2086
(cd "$work/download" && apt-get $apt_options -qq source --download-only "libdeflate=$version") \
    >"$work/source.log" 2>&1 ||
    { cat "$work/source.log" >&2; echo "fetch-libdeflate-source: no source of libdeflate $version" >&2; exit 1; }
dpkg-source -x "$work/download/libdeflate_${version#*:}.dsc" "$dest" >"$work/unpack.log" 2>&1 ||
    { cat "$work/unpack.log" >&2; echo "fetch-libdeflate-source: cannot unpack" >&2; exit 1; }
echo "$version" >"$dest/.debian-version"
rm -rf "$work"
echo "fetch-libdeflate-source: libdeflate $version in $dest"
