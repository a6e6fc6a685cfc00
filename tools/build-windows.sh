#!/usr/bin/env bash
# The Windows build: Qt and libxlsxwriter for x86_64-w64-mingw32 (built once into a cache,
# tools/windows-qt.sh and tools/windows-xlsx.sh),
# then otdr.exe, otdr-sor.exe and otdr-view.exe, their tests under Wine, and
# build-windows/otdr-windows-x64.zip.
#   tools/build-windows.sh NATIVE_BUILD_DIR [--no-tests]
# NATIVE_BUILD_DIR is a Linux build of the project: its sample traces and simulated
# instrument serve the Windows tests.
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(cd "$1" && pwd)
run_tests=1
[ "${2:-}" = "--no-tests" ] && run_tests=0

qt=$(tools/windows-qt.sh)
xlsx=$(tools/windows-xlsx.sh)
out=build-windows
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=tools/mingw-w64.cmake \
    -DOTDR_XLSXWRITER_DIR="$xlsx" \
    -DCMAKE_PREFIX_PATH="$qt" -DOTDR_SAMPLES_DIR="$native/samples" \
    -DOTDR_NATIVE_BUILD="$native" > /dev/null
cmake --build "$out" -j"$(nproc)"

# What a Windows program of ours needs beside it: Qt's DLLs, plugins and translations, MinGW's
# runtime.
deploy() {
    local dir=$1
    mkdir -p "$dir/platforms" "$dir/styles" "$dir/imageformats" "$dir/iconengines"
    cp "$qt"/bin/{Qt5Core,Qt5Gui,Qt5Widgets,Qt5Svg,Qt5Network}.dll "$dir/"
    cp "$qt"/plugins/platforms/{qwindows,qoffscreen}.dll "$dir/platforms/"
    cp "$qt"/plugins/styles/qwindowsvistastyle.dll "$dir/styles/"
    cp "$qt"/plugins/imageformats/{qico,qsvg}.dll "$dir/imageformats/"
    cp "$qt"/plugins/iconengines/qsvgicon.dll "$dir/iconengines/"
    # Qt's own texts in Portuguese (Debian's catalogues, for the same Qt version).
    mkdir -p "$dir/translations"
    cp /usr/share/qt5/translations/qtbase_pt_BR.qm "$dir/translations/"
    local runtime
    for runtime in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        cp "$(x86_64-w64-mingw32-g++-posix -print-file-name="$runtime")" "$dir/"
    done
}
deploy "$out/bin"
cp "$qt/bin/Qt5Test.dll" "$out/bin/" # the tests' only

# The zip: a folder a technician unzips and runs.
stage=$out/stage/otdr-windows-x64
rm -rf "$out/stage"
mkdir -p "$stage"
cp "$out"/bin/{otdr,otdr-sor,otdr-view}.exe resources/icone_lumo.ico "$stage/"
deploy "$stage"
find "$stage" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded
tools/windows-sign.sh "$out/certs" "$stage"/*.exe
sed 's/$/\r/' packaging/LEIA-ME.txt > "$stage/LEIA-ME.txt"
rm -f "$out/otdr-windows-x64.zip"
(cd "$out/stage" && zip -qr9 ../otdr-windows-x64.zip otdr-windows-x64)
echo "windows: $out/otdr-windows-x64.zip ($(du -k "$out/otdr-windows-x64.zip" | cut -f1) KB)"

# The installer beside it, with the project's version.
version=$(sed -n 's/^project(otdr VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
rm -f "$out"/otdr-*-x64.msi
tools/windows-msi.sh "$stage" "$out/otdr-$version-x64.msi" "$version"
echo "windows: $out/otdr-$version-x64.msi ($(du -k "$out/otdr-$version-x64.msi" | cut -f1) KB)"

if [ "$run_tests" -eq 1 ]; then
    (cd "$out" && ctest --output-on-failure)
    tools/check-windows-build.sh "$out" "$native"
fi
