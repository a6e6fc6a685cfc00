#!/usr/bin/env bash
# Compiles the programs' resource scripts with the mingw-w64 resource compiler, as the Windows
# build does for release VERSION (x.y.z), then reads the results back: the window's one icon
# group IDI_ICON1, and each program's version block, VERSION.0, U.S. English with Unicode.
#   tools/check-windows-resource.sh VERSION
set -euo pipefail
version=$1
IFS=. read -r major minor patch <<< "$version"
cd "$(dirname "$0")/../resources"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
windres() {
    x86_64-w64-mingw32-windres --preprocessor=cpp --preprocessor-arg=-xc-header \
        --preprocessor-arg=-DRC_INVOKED -DOTDR_VERSION_MAJOR="$major" \
        -DOTDR_VERSION_MINOR="$minor" -DOTDR_VERSION_PATCH="$patch" "$@"
}
fail() { echo "$1.rc: $2" >&2; exit 1; }
for program in otdr otdr-sor otdr-view; do
    windres "$program.rc" -O coff -o "$out/$program.o" # what a Windows build links
    windres "$program.rc" -O res -o "$out/$program.res"
    x86_64-w64-mingw32-windres -J res -i "$out/$program.res" -O rc -o "$out/back.rc"
    grep -q "^ FILEVERSION $major, $minor, $patch, 0$" "$out/back.rc" || fail "$program" "FILEVERSION"
    grep -q "^ PRODUCTVERSION $major, $minor, $patch, 0$" "$out/back.rc" \
        || fail "$program" "PRODUCTVERSION"
    grep -q "VALUE \"FileVersion\", \"$version.0\"" "$out/back.rc" || fail "$program" "FileVersion"
    grep -q "VALUE \"ProductVersion\", \"$version.0\"" "$out/back.rc" \
        || fail "$program" "ProductVersion"
    grep -q "VALUE \"OriginalFilename\", \"$program.exe\"" "$out/back.rc" \
        || fail "$program" "OriginalFilename"
    grep -q 'VALUE "ProductName", "otdr"' "$out/back.rc" || fail "$program" "ProductName"
    grep -qi 'BLOCK "040904b0"' "$out/back.rc" || fail "$program" "language block"
    grep -q 'VALUE "Translation", 0x409, 1200' "$out/back.rc" || fail "$program" "Translation"
    if [ "$program" = otdr ]; then
        grep -q '^"IDI_ICON1" 14 /\* RT_GROUP_ICON \*/' "$out/back.rc" || fail otdr "no IDI_ICON1"
        [ "$(grep -c 'Element no' "$out/back.rc")" -eq 1 ] || fail otdr "not one image"
        grep -q '", 1, 32, .*Element no 1' "$out/back.rc" || fail otdr "not 32 bits per pixel"
    elif grep -q 'RT_GROUP_ICON' "$out/back.rc"; then
        fail "$program" "an icon of its own"
    fi
done
echo "resource scripts compile: otdr's icon IDI_ICON1; otdr, otdr-sor and otdr-view version" \
    "$version.0, U.S. English, Unicode"
