#!/usr/bin/env bash
# Compiles the executable's resource script with the mingw-w64 resource compiler, then reads
# the result back: one icon group IDI_ICON1, version 0.0.0.0, U.S. English with Unicode.
set -euo pipefail
cd "$(dirname "$0")/../resources"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
windres() {
    x86_64-w64-mingw32-windres --preprocessor=cpp --preprocessor-arg=-xc-header \
        --preprocessor-arg=-DRC_INVOKED "$@"
}
windres otdr.rc -O coff -o "$out/otdr.o" # what a Windows build links
windres otdr.rc -O res -o "$out/otdr.res"
x86_64-w64-mingw32-windres -J res -i "$out/otdr.res" -O rc -o "$out/back.rc"
grep -q '^"IDI_ICON1" 14 /\* RT_GROUP_ICON \*/' "$out/back.rc"
[ "$(grep -c 'Element no' "$out/back.rc")" -eq 1 ]          # one image in the group
grep -q '", 1, 32, .*Element no 1' "$out/back.rc"             # of 32 bits per pixel
# windres writes the fixed versions back only when they are not 0.0.0.0
if grep -Eq '(FILE|PRODUCT)VERSION' "$out/back.rc"; then
    echo "the fixed file or product version is not 0.0.0.0" >&2
    exit 1
fi
grep -q 'VALUE "FileVersion", "0.0.0.0"' "$out/back.rc"
grep -q 'VALUE "ProductVersion", "0.0.0.0"' "$out/back.rc"
grep -qi 'BLOCK "040904b0"' "$out/back.rc"
grep -q 'VALUE "Translation", 0x409, 1200' "$out/back.rc"
echo "resource script compiles: icon IDI_ICON1, version 0.0.0.0, U.S. English, Unicode"
