#!/usr/bin/env bash
# Builds Qt 5.15 (qtbase and qtsvg) for x86_64-w64-mingw32 from Debian's source packages, into
# a cache folder that later runs reuse: prints that folder's Qt prefix on standard output.
# Qt SQL comes with the SQLite driver (Qt's own copy of SQLite) and the PostgreSQL driver,
# built against the libpq of tools/windows-libpq.sh, cached beside Qt.
# A cache built with other options than these is built again.
#   tools/windows-qt.sh [CACHE_DIR]     (default: ~/.cache/otdr-windows)
# The sources come through an apt configuration of this script's own, so the system's apt
# set-up stays as it is.
set -euo pipefail
cd "$(dirname "$0")/.."

. tools/windows-cache.sh "$@"
prefix=$cache/qt5-mingw64

libpq=$cache/libpq-mingw64
# Only what the programs use is built: Qt Network for the viewer's local socket (one viewer for
# several files), without TLS (nothing of ours goes over a network but the archive's server,
# which libpq reaches on its own); Qt SQL for the trace archive, with its two drivers and no
# others; no Qt XML, Qt Concurrent, printing, OpenGL or D-Bus.
configure_options=(-prefix "$prefix" -xplatform win32-g++
    -device-option CROSS_COMPILE=x86_64-w64-mingw32- -release -shared -opensource
    -confirm-license -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -no-vulkan
    -no-direct2d -no-openssl -no-feature-printer -no-feature-xml -no-feature-concurrent
    -sql-sqlite -qt-sqlite -sql-psql -no-sql-odbc -no-sql-db2 -no-sql-ibase -no-sql-mysql
    -no-sql-oci -no-sql-sqlite2 -no-sql-tds
    PSQL_INCDIR="$libpq/include" PSQL_LIBDIR="$libpq/lib"
    -qt-zlib -qt-libpng -no-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz -make-tool make)
stamp="${configure_options[*]}"

if [ -f "$prefix/.complete" ] && [ "$(cat "$prefix/.complete")" = "$stamp" ] \
    && [ -f "$libpq/.complete" ]; then
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
    || ! ls "$src"/qtsvg-opensource-src_*.dsc > /dev/null 2>&1 \
    || ! ls "$src"/sqlite3_*.dsc > /dev/null 2>&1; then
    log "fetching Qt's and SQLite's source packages"
    apt-get "${apt_options[@]}" update -qq
    (cd "$src" && apt-get "${apt_options[@]}" source --download-only -qq \
        qtbase-opensource-src qtsvg-opensource-src sqlite3)
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

# Qt's own copy of SQLite is left out of the +dfsg tarball too: the same single-file SQLite
# (sqlite3.c, sqlite3.h) is made from Debian's sqlite3 source package, with the fixes Debian
# took from upstream (the patches its series lists after its own build changes), and put where
# Qt's SQLite driver takes it from.
qt_sqlite=$cache/qtbase/src/3rdparty/sqlite
if [ ! -f "$qt_sqlite/sqlite3.c" ]; then
    log "making SQLite's single-file source"
    sqlite_src=$cache/sqlite
    rm -rf "$sqlite_src" "$qt_sqlite"
    mkdir -p "$sqlite_src/build"
    tar -xf "$(ls "$src"/sqlite3_*.orig.tar.* | grep -v -- -www | head -n 1)" -C "$sqlite_src" \
        --strip-components=1
    tar -xf "$(ls "$src"/sqlite3_*.debian.tar.* | head -n 1)" -C "$sqlite_src"
    series=$sqlite_src/debian/patches/series
    grep -qx '40-amalgamation_configure.patch' "$series" || {
        log "the sqlite3 package's patch series has changed: see which patches are upstream's"
        exit 1
    }
    sed '1,/^40-amalgamation_configure.patch$/d' "$series" | grep -v '^#' \
        | while read -r patch; do
            [ -n "$patch" ] && patch -d "$sqlite_src" -p1 -s < "$sqlite_src/debian/patches/$patch"
        done
    # The single file is the same for every system: it is made with the host's compiler and Tcl.
    (cd "$sqlite_src/build" && ../configure --disable-tcl > "$cache/sqlite-build.log" 2>&1 \
        && make sqlite3.c >> "$cache/sqlite-build.log" 2>&1) || {
        tail -n 40 "$cache/sqlite-build.log" >&2
        exit 1
    }
    mkdir -p "$qt_sqlite.part"
    cp "$sqlite_src/build/sqlite3.c" "$sqlite_src/build/sqlite3.h" "$qt_sqlite.part/"
    mv "$qt_sqlite.part" "$qt_sqlite"
    rm -rf "$sqlite_src"
fi

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

# The PostgreSQL client library the driver is built against.
tools/windows-libpq.sh "$cache" > /dev/null

jobs=$(nproc)
build=$cache/qtbase-build
# A build cut short goes on where it stopped; a failed configure, or one with other options,
# starts again.
if [ ! -f "$build/.configured" ] || [ "$(cat "$build/.configured")" != "$stamp" ]; then
    log "configuring qtbase (a few minutes)"
    rm -rf "$build" "$prefix"
    mkdir -p "$build"
    # configure builds qmake first: with all the cores too.
    (cd "$build" && MAKEFLAGS=-j"$jobs" "$cache/qtbase/configure" "${configure_options[@]}" \
        > "$cache/qtbase-configure.log" 2>&1) || {
        tail -n 40 "$cache/qtbase-configure.log" >&2
        exit 1
    }
    echo "$stamp" > "$build/.configured"
fi
if [ ! -f "$build/.built" ]; then
    log "building qtbase (about 25 minutes on 2 cores)"
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
