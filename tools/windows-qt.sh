#!/usr/bin/env bash
# Builds Qt 5.15 (qtbase and qtsvg) for x86_64-w64-mingw32 from Debian's source packages, into
# a cache folder that later runs reuse: prints that folder's Qt prefix on standard output.
# A cache built with other options than these is built again.
#   tools/windows-qt.sh [CACHE_DIR]     (default: ~/.cache/otdr-windows)
# The sources come through an apt configuration of this script's own, so the system's apt
# set-up stays as it is.
set -euo pipefail
cd "$(dirname "$0")/.."

cache=${1:-${OTDR_WINDOWS_CACHE:-$HOME/.cache/otdr-windows}}
prefix=$cache/qt5-mingw64
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
prefix=$cache/qt5-mingw64

# Qt Network is there for the viewer's local socket (one viewer for several files), without
# TLS: nothing of ours goes over a network.
configure_options=(-prefix "$prefix" -xplatform win32-g++
    -device-option CROSS_COMPILE=x86_64-w64-mingw32- -release -shared -opensource
    -confirm-license -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -no-vulkan
    -no-direct2d -no-openssl -no-feature-sql -no-feature-printer -qt-zlib
    -qt-libpng -no-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz -make-tool make)
stamp="${configure_options[*]}"

if [ -f "$prefix/.complete" ] && [ "$(cat "$prefix/.complete")" = "$stamp" ]; then
    echo "$prefix"
    exit 0
fi

log() { echo "windows-qt: $*" >&2; }

# A private apt configuration that knows the system's archives, with deb-src entries.
apt_dir=$cache/apt
mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
for system in /etc/apt/sources.list.d/*.sources; do
    [ -f "$system" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$system" > "$apt_dir/sources/$(basename "$system")"
done
if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
        > "$apt_dir/sources/system.list" || true
fi
apt_options=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources"
    -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache")

src=$cache/src
mkdir -p "$src"
if ! ls "$src"/qtbase-opensource-src_*.dsc > /dev/null 2>&1 \
    || ! ls "$src"/qtsvg-opensource-src_*.dsc > /dev/null 2>&1; then
    log "fetching Qt's source packages"
    apt-get "${apt_options[@]}" update -qq
    (cd "$src" && apt-get "${apt_options[@]}" source --download-only -qq \
        qtbase-opensource-src qtsvg-opensource-src)
fi

# The upstream sources with the fixes Debian took back from upstream (security fixes among
# them); Debian's own changes are for Debian's systems and stay out.
unpack() {
    local name=$1 dir=$2
    [ -d "$dir" ] && return 0
    local tarball debian
    tarball=$(ls "$src"/${name}_*.orig.tar.* | head -n 1)
    debian=$(ls "$src"/${name}_*.debian.tar.* | head -n 1)
    rm -rf "$dir.part"
    mkdir -p "$dir.part"
    tar -xf "$tarball" -C "$dir.part" --strip-components=1
    tar -xf "$debian" -C "$dir.part"
    if [ -f "$dir.part/debian/patches/series" ]; then
        sed -n '/^# Debian specific/q;/^[^#]/p' "$dir.part/debian/patches/series" \
            | while read -r patch; do
                patch -d "$dir.part" -p1 -s < "$dir.part/debian/patches/$patch"
            done
    fi
    mv "$dir.part" "$dir"
}
unpack qtbase-opensource-src "$cache/qtbase"
unpack qtsvg-opensource-src "$cache/qtsvg"

# The +dfsg tarball leaves out the Wacom tablet headers that the Windows platform plugin
# includes; Wine's development package ships equivalent ones (LGPL).
wintab=$cache/qtbase/src/3rdparty/wintab
if [ ! -f "$wintab/wintab.h" ]; then
    mkdir -p "$wintab"
    wine_include=/usr/include/wine/wine/windows
    {
        echo '#pragma once'
        echo '#include <windows.h>'
        echo '#ifndef WINELIB_NAME_AW'
        echo '#define WINELIB_NAME_AW(func) func##W'
        echo '#endif'
        echo '#ifndef DECL_WINELIB_TYPE_AW'
        echo '#define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;'
        echo '#endif'
        echo '#ifndef API'
        echo '#define API WINAPI'
        echo '#endif'
        cat "$wine_include/wintab.h"
    } > "$wintab/wintab.h"
    cp "$wine_include/pktdef.h" "$wintab/pktdef.h"
fi

jobs=$(nproc)
build=$cache/qtbase-build
# A build cut short goes on where it stopped; a failed configure, or one with other options,
# starts again.
if [ ! -f "$build/.configured" ] || [ "$(cat "$build/.configured")" != "$stamp" ]; then
    log "configuring qtbase (a few minutes)"
    rm -rf "$build" "$prefix"
    mkdir -p "$build"
    (cd "$build" && "$cache/qtbase/configure" "${configure_options[@]}" \
        > "$cache/qtbase-configure.log" 2>&1) || {
        tail -n 40 "$cache/qtbase-configure.log" >&2
        exit 1
    }
    echo "$stamp" > "$build/.configured"
fi
if [ ! -f "$build/.built" ]; then
    log "building qtbase (about 20 minutes on 2 cores)"
    (cd "$build" && make -j"$jobs" > "$cache/qtbase-build.log" 2>&1) || {
        tail -n 40 "$cache/qtbase-build.log" >&2
        exit 1
    }
    touch "$build/.built"
fi
(cd "$build" && make install > "$cache/qtbase-install.log" 2>&1)

svg_build=$cache/qtsvg-build
log "building qtsvg"
rm -rf "$svg_build"
mkdir -p "$svg_build"
(cd "$svg_build" && "$prefix/bin/qmake" "$cache/qtsvg" > "$cache/qtsvg-build.log" 2>&1 \
    && make -j"$jobs" >> "$cache/qtsvg-build.log" 2>&1 \
    && make install >> "$cache/qtsvg-build.log" 2>&1) || {
    tail -n 40 "$cache/qtsvg-build.log" >&2
    exit 1
}

echo "$stamp" > "$prefix/.complete"
echo "$prefix"
