#!/usr/bin/env bash
# Builds PostgreSQL's client library, libpq (a DLL), for x86_64-w64-mingw32 from Debian's
# postgresql-15 source package, into the cache folder that tools/windows-qt.sh fills: prints
# its prefix on standard output. Qt's PostgreSQL driver is built against it.
#   tools/windows-libpq.sh [CACHE_DIR]     (default: ~/.cache/otdr-windows)
# Only libpq and the two small libraries it takes in are built; no TLS (OpenSSL would be a
# third cross build): the archive's server is the office's, reached over its own network.
set -euo pipefail
cd "$(dirname "$0")/.."

. tools/windows-cache.sh "$@"
prefix=$cache/libpq-mingw64
configure_options=(--host=x86_64-w64-mingw32 --prefix="$prefix" --without-readline
    --without-zlib --without-icu --without-openssl --without-gssapi --without-ldap
    --without-llvm --without-libxml --without-lz4 --without-zstd)
stamp="${configure_options[*]}"
if [ -f "$prefix/.complete" ] && [ "$(cat "$prefix/.complete")" = "$stamp" ]; then
    echo "$prefix"
    exit 0
fi
log() { echo "windows-libpq: $*" >&2; }

# The same private apt configuration as the Qt build's (made by tools/windows-qt.sh).
apt_dir=$cache/apt
apt_options=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null
    -o Dir::Etc::SourceParts="$apt_dir/sources" -o Dir::State::Lists="$apt_dir/lists"
    -o Dir::Cache="$apt_dir/cache")
src=$cache/src
mkdir -p "$src"
if ! ls "$src"/postgresql-15_*.orig.tar.* > /dev/null 2>&1; then
    log "fetching postgresql-15's source package"
    apt-get "${apt_options[@]}" update -qq
    # The newest version whose files the archive still serves (a security update's may be
    # listed before its files are there).
    versions=$(apt-cache "${apt_options[@]}" showsrc postgresql-15 \
        | sed -n 's/^Version: //p' | sort -rV | uniq)
    fetched=0
    for version in $versions; do
        if (cd "$src" && apt-get "${apt_options[@]}" source --download-only -qq \
            "postgresql-15=$version" > /dev/null 2>&1); then
            fetched=1
            break
        fi
        rm -f "$src"/postgresql-15_*
    done
    [ "$fetched" -eq 1 ] || { log "no version of postgresql-15's sources can be fetched"; exit 1; }
fi

# The upstream release alone: Debian's patches to it are for Debian's server layout.
source_dir=$cache/postgresql
build=$cache/postgresql-build
rm -rf "$source_dir" "$build" "$prefix"
mkdir -p "$source_dir" "$build"
tar -xf "$(ls "$src"/postgresql-15_*.orig.tar.* | head -n 1)" -C "$source_dir" \
    --strip-components=1
log "configuring libpq"
logfile=$cache/libpq-build.log
(cd "$build" && "$source_dir/configure" "${configure_options[@]}" > "$logfile" 2>&1) || {
    tail -n 40 "$logfile" >&2
    exit 1
}
log "building libpq"
jobs=$(nproc)
# libpq takes the shared library's build of the two (each is built three ways otherwise), which
# holds all it needs of them.
libpq=(make -C "$build/src/interfaces/libpq" SHLIB_PREREQS= LIBS="-lws2_32 -lm")
if ! { make -C "$build/src/backend" generated-headers \
    && make -C "$build/src/port" -j"$jobs" libpgport_shlib.a \
    && make -C "$build/src/common" -j"$jobs" libpgcommon_shlib.a \
    && "${libpq[@]}" -j"$jobs" all-lib \
    && "${libpq[@]}" installdirs install-lib \
    && install -m 644 "$source_dir"/src/interfaces/libpq/libpq-fe.h \
        "$source_dir"/src/include/postgres_ext.h "$build"/src/include/pg_config.h \
        "$build"/src/include/pg_config_ext.h "$prefix/include/"; } >> "$logfile" 2>&1; then
    tail -n 40 "$logfile" >&2
    exit 1
fi
echo "$stamp" > "$prefix/.complete"
echo "$prefix"
