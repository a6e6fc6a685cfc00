#!/usr/bin/env bash
# Builds the Debian package, installs it, starts the installed otdr as its desktop entry does
# (from /usr/share/otdr, where its window icon is) against the simulated instrument, waits for
# the listing, and removes the package again. Needs root. Usage: check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
(cd "$build" && cpack -G DEB > /dev/null)
# Named and labelled with the release.
version=$(cat "$build/otdr-version.txt")
package=$build/otdr_${version}_$(dpkg --print-architecture).deb
[ -f "$package" ] || { echo "no $(basename "$package")" >&2; exit 1; }
[ "$(dpkg-deb -f "$package" Version)" = "$version" ] \
    || { echo "the package's version is not $version" >&2; exit 1; }
contents=$(dpkg-deb -c "$package")
for path in ./usr/bin/otdr ./usr/bin/otdr-sor ./usr/bin/otdr-view \
    ./usr/share/applications/otdr-view.desktop ./usr/share/mime/packages/otdr-sor.xml \
    ./usr/share/applications/otdr.desktop ./usr/share/otdr/icone_lumo.ico \
    ./usr/share/pixmaps/otdr.png; do
    grep -q " $path\$" <<< "$contents" || { echo "missing from the package: $path" >&2; exit 1; }
done
if command -v desktop-file-validate > /dev/null; then
    desktop-file-validate "$(dirname "$0")/../packaging/otdr.desktop"
    desktop-file-validate "$(dirname "$0")/../packaging/otdr-view.desktop"
fi

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" > /dev/null
trap 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq otdr > /dev/null' EXIT
log=$(mktemp)
# exec: the background job is otdr-sim itself, so that the kill below reaches it, and it ends
# the otdr it started.
(cd /usr/share/otdr && exec env QT_QPA_PLATFORM=offscreen "$build/bin/otdr-sim" --log -- /usr/bin/otdr 2> "$log") &
sim=$!
for _ in $(seq 1 200); do
    grep -q "arquivos lida" "$log" && break
    sleep 0.1
done
kill "$sim" 2> /dev/null || true
wait "$sim" || true
if ! grep -q "arquivos lida" "$log"; then
    cat "$log" >&2
    echo "the installed otdr did not list the simulated instrument" >&2
    exit 1
fi
rm -f "$log"
# otdr-view starts from the package, and the system gives *.sor files to it.
QT_QPA_PLATFORM=offscreen /usr/bin/otdr-view --help > /dev/null
QT_QPA_PLATFORM=offscreen /usr/bin/otdr-sor check "$build"/samples/*.sor > /dev/null
[ "$(/usr/bin/otdr-sor --version)" = "otdr-sor (otdr $version)" ] \
    || { echo "the installed otdr-sor is not $version" >&2; exit 1; }
if [ -f /usr/share/mime/globs2 ]; then
    grep -q "application/x-otdr-sor:\*\.sor" /usr/share/mime/globs2 \
        || { echo "the package did not register *.sor" >&2; exit 1; }
fi
if [ -f /usr/share/applications/mimeinfo.cache ]; then
    grep -q "^application/x-otdr-sor=.*otdr-view.desktop" /usr/share/applications/mimeinfo.cache \
        || { echo "*.sor does not open in otdr-view" >&2; exit 1; }
fi
echo "package $(basename "$package"): installs, the installed otdr lists the instrument, its" \
    "otdr-sor is $version, and *.sor files open in otdr-view"
