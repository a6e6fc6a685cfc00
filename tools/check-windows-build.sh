#!/usr/bin/env bash
# Checks of the Windows build that run its programs under Wine:
#   tools/check-windows-build.sh BUILD_WINDOWS_DIR NATIVE_BUILD_DIR
# - the three programs carry their version information, otdr.exe its icon;
# - otdr-sor.exe check and export --json print what the Linux build prints (line endings aside),
#   and the files it writes and its trace archive are the Linux build's
#   (tools/check-windows-outputs.sh);
# - otdr.exe starts and keeps running without an instrument (its warnings are checked by
#   tst_winwindow, which runs the same window code);
# - the zip, and the installer: installed over the older release the build made
#   (build-windows/upgrade/), then removed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$(cd "$1" && pwd)
native=$(cd "$2" && pwd)
export WINEPREFIX=$win/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEQT_QPA_PLATFORM=offscreen WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu'

version=$(cat "$win/otdr-version.txt")
# Resources: one icon (type 3) of the size of the image in resources/otdr.ico, its group
# IDI_ICON1 (type 14) and a version block (type 16) with the project's version.
exe=$win/bin/otdr.exe
resources=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n '/The .rsrc Resource Directory/,$p')
fail() { echo "otdr.exe: $*" >&2; exit 1; }
grep -q "Entry: ID: 0x000003" <<< "$resources" || fail "no icon resource"
grep -q "Entry: ID: 0x00000e" <<< "$resources" || fail "no icon group resource"
grep -q "IDI_ICON1" <<< "$resources" || fail "no icon group IDI_ICON1"
grep -q "Entry: ID: 0x000010" <<< "$resources" || fail "no version resource"
ico=$(dirname "$0")/../resources/otdr.ico
image_bytes=$(od -An -tu4 -j14 -N4 "$ico" | tr -d ' ')
icon_leaf=$(grep -m1 "Leaf:" <<< "$resources" | sed 's/.*Size: 0x\([0-9a-f]*\).*/\1/')
[ "$((16#$icon_leaf))" -eq "$image_bytes" ] || fail "icon of $((16#$icon_leaf)) bytes, not $image_bytes"
for program in otdr otdr-sor otdr-view; do
    block=$(strings -el "$win/bin/$program.exe")
    for value in FileVersion ProductVersion "$version.0" "$program.exe"; do
        grep -qx "$value" <<< "$block" || fail "no \"$value\" in $program.exe's version"
    done
done
echo "otdr.exe: icon; otdr.exe, otdr-sor.exe, otdr-view.exe: version $version.0"

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
compare bidir pairs/1550-ab.sor pairs/1550-ba.sor
compare bends pairs/1310-ab.sor pairs/1550-ab.sor --json
compare cable pairs
# The workbook is written under Windows too: a zip holding the matrix's sheet. It goes into a
# folder of its own, never into the samples that other checks serve, so that a second run (or
# one after a failure) finds them as the first did.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
wine "$win/bin/otdr-sor.exe" cable pairs --xlsx "$(winepath -w "$scratch/cabo-windows.xlsx")" \
    > /dev/null 2>&1 < /dev/null || true
unzip -l "$scratch/cabo-windows.xlsx" 2> /dev/null | grep -q "xl/worksheets/sheet1.xml" \
    || { echo "otdr-sor.exe cable --xlsx wrote no workbook" >&2; exit 1; }
# Qt's own texts come from the catalogue beside the program, as on Linux from Qt's folder.
compare plot --help
compare check --limitz x.sor
compare --version
echo "otdr-sor.exe: check, export --json, bidir, bends, cable (and its workbook), the help and the version print what the Linux build prints"
"$root/tools/check-windows-outputs.sh" "$win" "$native"

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
wineserver -k > /dev/null 2>&1 || true
wait "$pid" 2> /dev/null || true
echo "otdr.exe: starts and waits for the instrument"

# The zip, named with the version, holds a folder that runs as it is unpacked.
name=otdr-$version-windows-x64
listing=$(unzip -Z1 "$win/$name.zip")
for entry in otdr.exe otdr-sor.exe otdr-view.exe LEIA-ME.txt Qt5Core.dll Qt5Widgets.dll Qt5Svg.dll \
    Qt5Network.dll Qt5Sql.dll sqldrivers/qsqlite.dll sqldrivers/qsqlpsql.dll libpq.dll \
    libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll platforms/qwindows.dll \
    styles/qwindowsvistastyle.dll icone_lumo.ico translations/qtbase_pt_BR.qm; do
    grep -qx "$name/$entry" <<< "$listing" || { echo "zip: no $entry" >&2; exit 1; }
done
if grep -q "tst_\|Qt5Test" <<< "$listing"; then
    echo "zip: holds test files" >&2
    exit 1
fi
unzip -p "$win/$name.zip" "$name/LEIA-ME.txt" | grep -q "otdr-$version-x64.msi" \
    || { echo "zip: LEIA-ME.txt does not name this release's installer" >&2; exit 1; }
echo "$name.zip: the three programs, their DLLs, plugins (SQL drivers too) and translations, LEIA-ME.txt"

# The installer: signed; installs silently over the older release, as an upgrade; the programs
# run from where it put them; .sor opens in otdr-view; both Start menu entries; the older
# release is refused over it; removing it takes the files, the entries and the keys, and leaves
# the user's traces.
msi=$win/otdr-$version-x64.msi
older=$win/upgrade/otdr-0.9.0-x64.msi
fail() { echo "installer: $*" >&2; exit 1; }
[ -f "$msi" ] || fail "no $(basename "$msi")"
[ -f "$older" ] || fail "no older release to upgrade (tools/build-windows.sh makes it)"
if [ -z "${OTDR_SIGN_PFX:-}" ]; then
    osslsigncode verify -CAfile "$win/certs/cert.pem" -in "$msi" > /dev/null 2>&1 \
        || fail "its signature does not verify against the throwaway certificate"
    osslsigncode verify -CAfile "$win/certs/cert.pem" -in "$win/stage/$name/otdr.exe" \
        > /dev/null 2>&1 || fail "otdr.exe is not signed"
fi
# A user without administrator rights installs it for themselves (MSIINSTALLPERUSER=1). Wine
# installs everything as an administrator, for the machine, so what makes that possible is read
# from the package: the summary says no elevation is needed, the context follows ALLUSERS=2
# (the machine unless the user is asked for), and nothing goes where only an administrator
# writes (the machine's registry or environment, folders Windows does not move to the user's).
words=$(msiinfo suminfo "$msi" | sed -n 's/^Source: \([0-9]*\).*/\1/p')
(( words & 8 )) || fail "the summary asks for elevation (word count $words)"
msiinfo export "$msi" Property | tr -d '\r' | grep -qx $'ALLUSERS\t2' || fail "ALLUSERS is not 2"
! msiinfo export "$msi" Property | grep -q '^MSIINSTALLPERUSER' \
    || fail "MSIINSTALLPERUSER is set: a plain install would not be the machine's"
msiinfo export "$msi" Registry | tail -n +4 | cut -f2 | grep -qvx -- '0\|1\|-1' \
    && fail "registry values outside HKCR and HKCU"
msiinfo export "$msi" Environment | tail -n +4 | cut -f2 | grep -q '\*' \
    && fail "the machine's environment is written"
msiinfo export "$msi" Directory | tail -n +4 | tr -d '\r' | awk -F'\t' '$2 == "TARGETDIR"' \
    | cut -f1 | grep -qvx 'ProgramFiles64Folder\|ProgramMenuFolder' \
    && fail "installs into a folder that stays the machine's in a per-user install"
export WINEPREFIX=$win/wine-installer WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
rm -rf "$WINEPREFIX"
wineboot -i > /dev/null 2>&1 || true
c=$WINEPREFIX/drive_c
documents=$(find "$c/users" -maxdepth 2 -type d -name Documents | head -n 1)
[ -n "$documents" ] || documents=$c/users/$USER/Documents
mkdir -p "$documents"
cp "$native/samples/ROTA01_1310.sor" "$documents/meu-traco.sor"
installed="$c/Program Files/otdr"
products() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2> /dev/null \
        | tr -d '\r' | grep -c 'DisplayName.*REG_SZ.*otdr$' || true
}
installed_version() {
    wine "C:\\Program Files\\otdr\\otdr-sor.exe" --version 2> /dev/null < /dev/null | tr -d '\r'
}
# The older release first, as a technician's laptop has it.
wine msiexec /i "$older" /qn > /dev/null 2>&1 || fail "the older release does not install"
[ "$(installed_version)" = "otdr-sor (otdr 0.9.0)" ] \
    || fail "the older release's otdr-sor.exe printed \"$(installed_version)\""
[ -f "$installed/notas-0.9.0.txt" ] || fail "the older release's own file is not installed"
wine reg query 'HKCR\.sor' 2> /dev/null | grep -q "otdr.sor" || fail "the older release has no .sor association"
# This release over it: one product, this version's files, the older one's own file gone, the
# association kept.
wine msiexec /i "$msi" /qn > /dev/null 2>&1 || fail "msiexec /i failed over the older release"
[ "$(products)" -eq 1 ] || fail "after the upgrade, $(products) products are installed"
for file in otdr.exe otdr-sor.exe otdr-view.exe LEIA-ME.txt Qt5Core.dll Qt5Sql.dll libpq.dll \
    sqldrivers/qsqlite.dll sqldrivers/qsqlpsql.dll platforms/qwindows.dll \
    translations/qtbase_pt_BR.qm; do
    [ -f "$installed/$file" ] || fail "no $file under Program Files\\otdr"
done
[ ! -e "$installed/notas-0.9.0.txt" ] || fail "the older release's own file is left after the upgrade"
[ "$(installed_version)" = "otdr-sor (otdr $version)" ] \
    || fail "after the upgrade otdr-sor.exe printed \"$(installed_version)\""
for program in otdr otdr-sor otdr-view; do
    cmp -s "$installed/$program.exe" "$win/stage/$name/$program.exe" \
        || fail "$program.exe is not this release's after the upgrade"
done
# The installed programs reach the archive: its SQL drivers and libpq are where Qt looks.
(cd "$documents" && wine "C:\\Program Files\\otdr\\otdr-sor.exe" archive add meu-traco.sor \
    --db arquivo.sqlite > /dev/null 2>&1 < /dev/null) || fail "the installed otdr-sor.exe has no archive"
wine "C:\\Program Files\\otdr\\otdr-sor.exe" archive find --db postgresql://ninguem@127.0.0.1:1/x \
    < /dev/null 2>&1 | tr -d '\r' | grep -q "não tem o driver" \
    && fail "the installed otdr-sor.exe has no PostgreSQL driver"
# A GUI program shows its help in a box: the window and the viewer (on a trace) are started
# from the installed folder and left to run.
runs_installed() {
    (cd "$documents" && wine "C:\\Program Files\\otdr\\$1" "${@:2}" > /dev/null 2>&1 < /dev/null) &
    local started=$!
    sleep 8
    kill -0 "$started" 2> /dev/null || fail "$1 does not start from the installed folder"
    wineserver -k > /dev/null 2>&1 || true
    wait "$started" 2> /dev/null || true
}
runs_installed otdr.exe
runs_installed otdr-view.exe meu-traco.sor
command=$(wine reg query 'HKCR\otdr.sor\shell\open\command' 2> /dev/null | tr -d '\r')
grep -qF 'C:\Program Files\otdr\otdr-view.exe' <<< "$command" || fail ".sor does not open otdr-view.exe"
wine reg query 'HKCR\.sor' 2> /dev/null | grep -q "otdr.sor" || fail "no .sor association"
for entry in otdr otdr-view; do
    find "$c" -path '*Start Menu*' -name "$entry.lnk" | grep -q . || fail "no Start menu entry $entry"
done
# Two traces opened through the association, as Explorer opens a selection (a viewer for each):
# the second hands its trace to the first and ends; the one viewer left remembers both.
cp "$native/samples/ROTA01_1550.sor" "$documents/outro-traco.sor"
viewers() { pgrep -fc 'otdr-view\.exe' || true; }
wine start /unix "$documents/meu-traco.sor" > /dev/null 2>&1
sleep 5
wine start /unix "$documents/outro-traco.sor" > /dev/null 2>&1
for _ in $(seq 30); do
    recent=$(wine reg query 'HKCU\Software\otdr\otdr-view' /v recentFiles 2> /dev/null | tr -d '\r')
    grep -q 'outro-traco.sor' <<< "$recent" && break
    sleep 1
done
grep -q 'meu-traco.sor' <<< "$recent" && grep -q 'outro-traco.sor' <<< "$recent" \
    || fail "the two traces opened together are not in one viewer ($recent)"
sleep 2
[ "$(viewers)" -eq 1 ] || fail "$(viewers) viewers for two traces opened together"
wineserver -k > /dev/null 2>&1 || true
wine reg query 'HKCU\Environment' /v PATH 2> /dev/null | grep -qF 'Program Files\otdr' \
    || fail "otdr-sor is not on the user's PATH"
[ "$(products)" -eq 1 ] || fail "installed as $(products) products"
# What "Aplicativos instalados" shows: name, publisher, version, help link, icon.
entry=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2> /dev/null \
    | tr -d '\r' | grep -a -A40 'DisplayName.*REG_SZ.*otdr$')
grep -aq "Publisher.*REG_SZ *otdr$" <<< "$entry" || fail "no publisher in the uninstall entry"
grep -aq "DisplayVersion.*REG_SZ *$version$" <<< "$entry" || fail "not version $version"
grep -aq "HelpLink.*REG_SZ *https://" <<< "$entry" || fail "no help link in the uninstall entry"
wine reg query 'HKCR\Installer\Products' /s 2> /dev/null | grep -aq 'ProductIcon.*otdr\.ico' \
    || fail "no product icon"
# The older release is refused over this one, which stays.
wine msiexec /i "$older" /qn > /dev/null 2>&1 && fail "the older release installed over this one"
[ "$(products)" -eq 1 ] && [ "$(installed_version)" = "otdr-sor (otdr $version)" ] \
    || fail "the older release's refusal left $(products) products, $(installed_version)"
wine msiexec /x "$msi" /qn > /dev/null 2>&1 || fail "msiexec /x failed"
[ ! -e "$installed/otdr.exe" ] || fail "otdr.exe is still there after removal"
! find "$c" -path '*Start Menu*' -name "otdr*.lnk" | grep -q . || fail "Start menu entries left"
! wine reg query 'HKCR\.sor' > /dev/null 2>&1 || fail "the .sor association is left"
! wine reg query 'HKCR\otdr.sor' > /dev/null 2>&1 || fail "the otdr.sor class is left"
! wine reg query 'HKCU\Environment' /v PATH 2> /dev/null | grep -qF 'Program Files\otdr' \
    || fail "otdr-sor is still on the user's PATH"
[ "$(products)" -eq 0 ] || fail "still listed as installed"
[ -f "$documents/meu-traco.sor" ] || fail "the user's trace in Documents is gone"
wineserver -k > /dev/null 2>&1 || true
echo "$(basename "$msi"): signed, installs silently over 0.9.0 as an upgrade (its files gone, the association kept), runs, opens .sor, refuses 0.9.0 over it, removes cleanly"
