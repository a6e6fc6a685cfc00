#!/usr/bin/env bash
# The Windows installer: an MSI made with wixl (Debian's msitools) from the folder the zip holds,
# signed with osslsigncode.
#   tools/windows-msi.sh STAGE_DIR OUTPUT.msi VERSION
# wixl writes no Environment table: the PATH entry (the "Path" feature's) is added with msibuild;
# nor the summary's "no elevation needed" bit, set through libmsi's Python binding, without
# which Windows asks for an administrator before a per-user install too.
# Signed by tools/windows-sign.sh (certificates in OUTPUT's folder/certs).
set -euo pipefail
stage=$(cd "$1" && pwd)
out=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
version=$3
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$stage" && find . -type f | sed 's|^\./||' | sort \
    | wixl-heat --var var.SourceDir -p "" --component-group CG.files --directory-ref INSTALLDIR \
        --win64) > "$work/files.wxs"
# wixl resolves sources from the folder it runs in.
(cd "$stage" && wixl -a x64 -D Version="$version" -D SourceDir=. -D Win64=yes \
    -D HelpLink="https://github.com/otdr" -o "$work/otdr.msi" "$root/packaging/windows/otdr.wxs" \
    "$work/files.wxs")

mkdir "$work/tables"
msidump -d "$work/tables" -t "$work/otdr.msi" > /dev/null
printf 'Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\n' \
    > "$work/tables/Environment.idt"
# Appended to the user's PATH, taken out again on removal.
printf 'PathEntry\t=-PATH\t[~];[INSTALLDIR]\tUserPath\n' >> "$work/tables/Environment.idt"
printf 'RemoveEnvironmentStrings\t\t3300\nWriteEnvironmentStrings\t\t5200\n' \
    >> "$work/tables/InstallExecuteSequence.idt"
msibuild "$work/otdr.msi" -i "$work/tables/Environment.idt"
msibuild "$work/otdr.msi" -i "$work/tables/InstallExecuteSequence.idt"

# The package installs for the machine unless MSIINSTALLPERUSER=1 asks for the user: Windows
# then elevates only for the machine's install.
/usr/bin/python3 - "$work/otdr.msi" << 'EOF'
import sys
import gi
gi.require_version("Libmsi", "1.0")
from gi.repository import Libmsi
database = Libmsi.Database.new(sys.argv[1], Libmsi.DbFlags.TRANSACT, None)
summary = Libmsi.SummaryInfo.new(database, 1)
summary.set_int(Libmsi.Property.SOURCE, summary.get_int(Libmsi.Property.SOURCE) | 8)
summary.persist()
database.commit()
EOF

cp "$work/otdr.msi" "$out"
"$root/tools/windows-sign.sh" "$(dirname "$out")/certs" "$out"
echo "windows-msi: $out ($(du -k "$out" | cut -f1) KB)" >&2
