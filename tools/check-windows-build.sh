#!/usr/bin/env bash
# Checks of the Windows build that run its programs under Wine:
#   tools/check-windows-build.sh BUILD_WINDOWS_DIR NATIVE_BUILD_DIR
# - otdr.exe carries its icon and version information;
# - otdr-sor.exe check and export --json print what the Linux build prints (line endings aside);
# - otdr.exe starts and keeps running without an instrument (its warnings are checked by
#   tst_winwindow, which runs the same window code).
set -euo pipefail
win=$(cd "$1" && pwd)
native=$(cd "$2" && pwd)
export WINEPREFIX=$win/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEQT_QPA_PLATFORM=offscreen WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu'

# Resources: an icon group, an icon and a version block, with the project's version.
exe=$win/bin/otdr.exe
resources=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n '/Resource Directory/,$p')
for type in "Type: ICON" "Type: GROUP_ICON" "Type: VERSION"; do
    grep -q "$type" <<< "$resources" || { echo "otdr.exe: no $type resource" >&2; exit 1; }
done
version=$(strings -el "$exe")
for value in FileVersion ProductVersion 0.0.0.0 otdr.exe; do
    grep -qx "$value" <<< "$version" || { echo "otdr.exe: no \"$value\" in its version" >&2; exit 1; }
done
echo "otdr.exe: icon and version information present"

# otdr-sor.exe prints what otdr-sor prints.
cd "$native/samples"
files=(*.sor cases/*.sor)
compare() {
    local linux windows
    linux=$("$native/bin/otdr-sor" "$@" 2>&1 || true)
    windows=$(wine "$win/bin/otdr-sor.exe" "$@" 2>&1 < /dev/null | tr -d '\r' || true)
    if [ "$linux" != "$windows" ]; then
        echo "otdr-sor.exe $1 differs from otdr-sor:" >&2
        diff <(echo "$linux") <(echo "$windows") | head -n 20 >&2
        exit 1
    fi
}
compare check "${files[@]}"
compare export --json "${files[@]:0:3}"
echo "otdr-sor.exe: check and export --json print what the Linux build prints"

# otdr.exe starts, finds no instrument and waits with its warning open.
wine "$exe" < /dev/null > "$win/otdr-start.log" 2>&1 &
pid=$!
sleep 8
if ! kill -0 "$pid" 2> /dev/null; then
    echo "otdr.exe ended on its own:" >&2
    cat "$win/otdr-start.log" >&2
    exit 1
fi
kill "$pid" 2> /dev/null || true
wineserver -k 2> /dev/null || true
wait "$pid" 2> /dev/null || true
echo "otdr.exe: starts and waits for the instrument"
