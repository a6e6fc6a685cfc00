#!/usr/bin/env bash
# The Windows build: Qt (with Qt SQL and its SQLite and PostgreSQL drivers), libpq and
# libxlsxwriter for x86_64-w64-mingw32 (built once into a cache: tools/windows-qt.sh,
# tools/windows-libpq.sh, tools/windows-xlsx.sh), then otdr.exe, otdr-sor.exe and otdr-view.exe,
# their tests under Wine, build-windows/otdr-VERSION-windows-x64.zip and
# build-windows/otdr-VERSION-x64.msi.
#   tools/build-windows.sh NATIVE_BUILD_DIR [--no-tests]
# NATIVE_BUILD_DIR is a Linux build of the project: its sample traces and simulated
# instrument serve the Windows tests, its programs write what the Windows ones are compared with.
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(cd "$1" && pwd)
run_tests=1
[ "${2:-}" = "--no-tests" ] && run_tests=0

qt=$(tools/windows-qt.sh)
libpq=$(tools/windows-libpq.sh)
xlsx=$(tools/windows-xlsx.sh)
out=build-windows
configure() {
    cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=tools/mingw-w64.cmake \
        -DOTDR_XLSXWRITER_DIR="$xlsx" \
        -DCMAKE_PREFIX_PATH="$qt" -DOTDR_SAMPLES_DIR="$native/samples" \
        -DOTDR_NATIVE_BUILD="$native" "$@" > /dev/null
}

# What a Windows program of ours needs beside it: Qt's DLLs, plugins and translations, the SQL
# drivers and PostgreSQL's client library, MinGW's runtime.
deploy() {
    local dir=$1
    mkdir -p "$dir/platforms" "$dir/styles" "$dir/imageformats" "$dir/iconengines" \
        "$dir/sqldrivers"
    cp "$qt"/bin/{Qt5Core,Qt5Gui,Qt5Widgets,Qt5Svg,Qt5Network,Qt5Sql}.dll "$dir/"
    cp "$qt"/plugins/platforms/{qwindows,qoffscreen}.dll "$dir/platforms/"
    cp "$qt"/plugins/styles/qwindowsvistastyle.dll "$dir/styles/"
    cp "$qt"/plugins/imageformats/{qico,qsvg}.dll "$dir/imageformats/"
    cp "$qt"/plugins/iconengines/qsvgicon.dll "$dir/iconengines/"
    cp "$qt"/plugins/sqldrivers/{qsqlite,qsqlpsql}.dll "$dir/sqldrivers/"
    cp "$libpq/bin/libpq.dll" "$dir/"
    # Qt's own texts in Portuguese (Debian's catalogues, for the same Qt version).
    mkdir -p "$dir/translations"
    cp /usr/share/qt5/translations/qtbase_pt_BR.qm "$dir/translations/"
    local runtime
    for runtime in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        cp "$(x86_64-w64-mingw32-g++-posix -print-file-name="$runtime")" "$dir/"
    done
}
# A folder as a technician unzips it: the programs, their DLLs, stripped and signed.
stage() {
    local dir=$1
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$out"/bin/{otdr,otdr-sor,otdr-view}.exe resources/icone_lumo.ico "$dir/"
    deploy "$dir"
    find "$dir" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded
    tools/windows-sign.sh "$out/certs" "$dir"/*.exe
    sed "s/@VERSION@/$(cat "$out/otdr-version.txt")/g; s/\$/\r/" packaging/LEIA-ME.txt \
        > "$dir/LEIA-ME.txt"
}

# The older release the installer's upgrade test starts from: the same sources built as 0.9.0
# (only the version's own file and the links are redone by the build after it), with a file
# of its own that the upgrade must take away.
if [ "$run_tests" -eq 1 ]; then
    configure -DOTDR_VERSION_OVERRIDE=0.9.0
    cmake --build "$out" -j"$(nproc)" --target otdr otdr-sor otdr-view
    older=$out/upgrade/otdr-0.9.0-windows-x64
    stage "$older"
    echo "só a versão 0.9.0 tinha este arquivo" > "$older/notas-0.9.0.txt"
    tools/windows-msi.sh "$older" "$out/upgrade/otdr-0.9.0-x64.msi" 0.9.0
fi

configure -DOTDR_VERSION_OVERRIDE=
cmake --build "$out" -j"$(nproc)"
version=$(cat "$out/otdr-version.txt")
deploy "$out/bin"
cp "$qt/bin/Qt5Test.dll" "$out/bin/" # the tests' only

# The zip: a folder a technician unzips and runs.
name=otdr-$version-windows-x64
rm -rf "$out/stage"
stage "$out/stage/$name"
rm -f "$out"/otdr-*windows-x64.zip
(cd "$out/stage" && zip -qr9 "../$name.zip" "$name")
echo "windows: $out/$name.zip ($(du -k "$out/$name.zip" | cut -f1) KB)"

# The installer beside it.
rm -f "$out"/otdr-*-x64.msi
tools/windows-msi.sh "$out/stage/$name" "$out/otdr-$version-x64.msi" "$version"
echo "windows: $out/otdr-$version-x64.msi ($(du -k "$out/otdr-$version-x64.msi" | cut -f1) KB)"

if [ "$run_tests" -eq 1 ]; then
    (cd "$out" && ctest --output-on-failure)
    tools/check-windows-build.sh "$out" "$native"
fi
