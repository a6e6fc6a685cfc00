#!/usr/bin/env bash
# Builds libxlsxwriter (static) for x86_64-w64-mingw32 from Debian's source package, with the
# zlib of Debian's libz-mingw-w64-dev, into the cache folder that tools/windows-qt.sh fills:
# prints its prefix on standard output.
#   tools/windows-xlsx.sh [CACHE_DIR]     (default: ~/.cache/otdr-windows)
set -euo pipefail
cd "$(dirname "$0")/.."

. tools/windows-cache.sh "$@"
prefix=$cache/xlsxwriter-mingw64
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
log() { echo "windows-xlsx: $*" >&2; }

# The same private apt configuration as the Qt build's (made by tools/windows-qt.sh).
apt_dir=$cache/apt
apt_options=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources"
    -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache")
src=$cache/src
mkdir -p "$src"
if ! ls "$src"/libxlsxwriter_*.orig.tar.* > /dev/null 2>&1; then
    log "fetching libxlsxwriter's source package"
    apt-get "${apt_options[@]}" update -qq
    (cd "$src" && apt-get "${apt_options[@]}" source --download-only -qq libxlsxwriter)
fi
source_dir=$cache/libxlsxwriter
build=$cache/libxlsxwriter-build
rm -rf "$source_dir" "$build" "$prefix"
mkdir -p "$source_dir" "$build"
tar -xf "$(ls "$src"/libxlsxwriter_*.orig.tar.* | head -n 1)" -C "$source_dir" --strip-components=1
log "building libxlsxwriter"
cmake -S "$source_dir" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$(pwd)/tools/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" \
    > "$cache/xlsxwriter-build.log" 2>&1
cmake --build "$build" -j"$(nproc)" >> "$cache/xlsxwriter-build.log" 2>&1
cmake --install "$build" >> "$cache/xlsxwriter-build.log" 2>&1
touch "$prefix/.complete"
echo "$prefix"
