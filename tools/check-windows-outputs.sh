#!/usr/bin/env bash
# What otdr-sor.exe writes under Wine, read back here and compared with what the Linux build
# writes for the same command (the same numbers: the PDFs' text, the workbooks' cells, the JSON
# and the KML, not the bytes), and the trace archive on Windows:
#   tools/check-windows-outputs.sh BUILD_WINDOWS_DIR NATIVE_BUILD_DIR
# - compare -o, cable -o --xlsx, locate --kml and report -o;
# - archive add, find and history into an SQLite file, each build's archive opened by the other
#   (one file format) with the same find answer; the default archive under the user's AppData;
# - the same against a PostgreSQL server started here, where PostgreSQL is installed.
set -euo pipefail
win=$(cd "$1" && pwd)
native=$(cd "$2" && pwd)
export WINEPREFIX=$win/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEQT_QPA_PLATFORM=offscreen WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu'
linux_sor=$native/bin/otdr-sor
windows_sor=$win/bin/otdr-sor.exe
fail() { echo "otdr-sor.exe: $*" >&2; exit 1; }

work=$(mktemp -d)
server_data=
cleanup() {
    if [ -n "$server_data" ]; then
        as_postgres "$pg_bin/pg_ctl" -D "$server_data" -m fast -w stop > /dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
mkdir traces
cp "$native"/samples/ROTA0*.sor "$native"/samples/ENLACE-CENTRO_1550.sor traces/
cp -r "$native"/samples/pairs pairs
# A route along ROTA01 (12 km), with its closures where the trace has its events.
cat > rota.csv << 'EOF'
nome;tipo;distancia_m;lat;lon;reserva_m
CENTRAL;origem;0;-23,55050;-46,63330;0
CEO-01;emenda;2080;-23,56800;-46,64200;20
P-040;poste;4000;-23,58300;-46,65100;0
CEO-02;emenda;5360;-23,59500;-46,65900;20
CEO-03;emenda;9740;-23,63200;-46,68100;20
CLIENTE;outro;11940;-23,65100;-46,69300;0
EOF

# Runs one command in both builds, from this folder; each one's output files are named by the
# caller with its build's name in place of "BUILD".
linux() { "$linux_sor" "${@//BUILD/linux}" 2>&1 || true; }
windows() { wine "$windows_sor" "${@//BUILD/windows}" 2>&1 < /dev/null | tr -d '\r' || true; }
same_output() {
    local what=$1
    shift
    local l w
    l=$(linux "$@")
    w=$(windows "$@")
    if [ "$l" != "$w" ]; then
        echo "otdr-sor.exe $what prints otherwise than otdr-sor:" >&2
        diff <(echo "$l") <(echo "$w") | head -n 20 >&2
        exit 1
    fi
}
# A PDF's text, without the date and time in its footer (the moment it was written).
pdf_text() {
    [ -s "$1" ] || fail "no $1"
    pdftotext -layout "$1" - | sed -E 's#[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}#DATA#g'
}
# Whether two PDFs say the same: the same measured values (two decimals or more, as many of
# each), and each one's words in the other's text. Where the lines break, the plots' labels fall
# and the gaps a text extractor sees inside a word follow each system's font metrics: the text
# is compared without its spaces.
same_says() {
    /usr/bin/python3 - "$1" "$2" << 'EOF'
import re, subprocess, sys
def text(path):
    t = subprocess.run(["pdftotext", "-layout", path, "-"], capture_output=True, text=True).stdout
    return re.sub(r"\d{2}/\d{2}/\d{4} \d{2}:\d{2}", "DATA", t)
a, b = text(sys.argv[1]), text(sys.argv[2])
problems = []
values = lambda t: sorted(re.findall(r"-?\d+,\d{2,}", t))
if values(a) != values(b):
    va, vb = values(a), values(b)
    problems.append("values only in the first: %s; only in the second: %s"
                    % ([v for v in va if v not in vb][:10], [v for v in vb if v not in va][:10]))
joined = lambda t: re.sub(r"\s+", "", t)
for first, second, name in ((a, b, "second"), (b, a, "first")):
    words = set(re.findall(r"[^\W\d_]{3,}", first))
    missing = sorted(w for w in words if w not in joined(second))
    if missing:
        problems.append("words not in the %s: %s" % (name, missing[:10]))
print("\n".join(problems))
sys.exit(1 if problems else 0)
EOF
}
same_pdf() {
    local what=$1
    [ "$(pdfinfo "linux-$what.pdf" | grep Pages)" = "$(pdfinfo "windows-$what.pdf" | grep Pages)" ] \
        || fail "$what.pdf has another number of pages than otdr-sor's"
    if ! same_says "linux-$what.pdf" "windows-$what.pdf" > diff.txt; then
        echo "otdr-sor.exe wrote another $what.pdf than otdr-sor:" >&2
        head -n 20 diff.txt >&2
        exit 1
    fi
    grep -q "otdr $(cat "$win/otdr-version.txt")" <(pdf_text "windows-$what.pdf") \
        || fail "$what.pdf's footer does not name the release"
}

same_output "compare --json" compare traces/ROTA01_1550.sor traces/ROTA02_1550.sor --force --json
same_output "compare -o" compare traces/ROTA01_1550.sor traces/ROTA02_1550.sor --force -o BUILD-compare.pdf
same_pdf compare
same_output "report -o" report traces/ROTA01_1310.sor traces/ROTA01_1550.sor -o BUILD-report.pdf
same_pdf report
same_output "locate --json --kml" locate traces/ROTA01_1550.sor --route rota.csv --json \
    --kml BUILD-mapa.kml
[ -s windows-mapa.kml ] || fail "locate --kml wrote no map"
cmp <(tr -d '\r' < linux-mapa.kml) <(tr -d '\r' < windows-mapa.kml) > /dev/null \
    || fail "locate --kml wrote another map than otdr-sor ($(diff linux-mapa.kml windows-mapa.kml | head -n 6))"
grep -q "<coordinates>" windows-mapa.kml || fail "the map has no coordinates"
same_output "cable -o --xlsx" cable pairs -o BUILD-cabo.pdf --xlsx BUILD-cabo.xlsx
same_pdf cabo
# Every cell of every sheet, read with openpyxl.
cells() {
    /usr/bin/python3 - "$1" << 'EOF'
import sys
import openpyxl
book = openpyxl.load_workbook(sys.argv[1])
for sheet in book.worksheets:
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is not None:
                print(sheet.title, cell.coordinate, repr(cell.value))
EOF
}
diff <(cells linux-cabo.xlsx) <(cells windows-cabo.xlsx) > diff.txt \
    || fail "cable --xlsx wrote other cells than otdr-sor: $(head -n 10 diff.txt)"
[ "$(cells windows-cabo.xlsx | wc -l)" -gt 20 ] || fail "the workbook is nearly empty"
echo "otdr-sor.exe: compare -o, report -o, locate --kml and cable -o --xlsx write what otdr-sor writes"

# The archive: each build indexes the traces into its own SQLite file.
same_output "archive add" archive add traces pairs --db BUILD.sqlite
for db in linux.sqlite windows.sqlite; do
    same_output "archive find on $db" archive find --db "$db"
    same_output "archive find --json on $db" archive find --json --db "$db"
    same_output "archive find --fiber on $db" archive find --fiber F01 --wavelength 1550 --db "$db"
    same_output "archive history on $db" archive history F01 --cable ROTA01 --db "$db"
done
# The two archives hold the same traces; only the places differ (Z:\… against /…).
without_places() { /usr/bin/python3 -c '
import json, sys
found = json.load(sys.stdin)
for r in found["traces"]:
    r.pop("paths")
print(json.dumps(found, sort_keys=True, indent=1))'; }
found=$(linux archive find --json --db linux.sqlite)
[ "$(/usr/bin/python3 -c 'import json,sys; print(len(json.load(sys.stdin)["traces"]))' <<< "$found")" -ge 8 ] \
    || fail "the archive found fewer traces than were added: $found"
diff <(without_places <<< "$found") \
    <(windows archive find --json --db windows.sqlite | without_places) > diff.txt \
    || fail "its archive holds other traces than otdr-sor's: $(head -n 10 diff.txt)"
windows archive history F01 --cable ROTA01 --db windows.sqlite | grep -q 'ROTA01_1550.sor' \
    || fail "archive history does not list ROTA01_1550.sor"
# Without --db: the user's archive under AppData\Local.
windows archive add traces/ROTA01_1550.sor > /dev/null
default=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/otdr/arquivo-de-tracos.sqlite')
[ -n "$default" ] || fail "no archive under AppData\\Local\\otdr"
"$linux_sor" archive find --db "$default" | grep -q 'ROTA01_1550.sor' \
    || fail "the default archive does not hold what was added"
echo "otdr-sor.exe: archive add, find and history as otdr-sor; each opens the other's archive;" \
    "the default under AppData\\Local\\otdr"

# A PostgreSQL server of this check's own, on a free port of 127.0.0.1, that Wine's programs
# reach as Windows reaches a server.
pg_bin=$(dirname "$(find /usr/lib/postgresql -name initdb -type f 2> /dev/null | sort | tail -n 1)")
if [ ! -x "$pg_bin/initdb" ]; then
    echo "otdr-sor.exe with PostgreSQL: skipped (PostgreSQL is not installed)"
    exit 0
fi
as_postgres() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
mkdir server
[ "$(id -u)" -eq 0 ] && chown postgres server && chmod 755 "$work"
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
as_postgres "$pg_bin/initdb" -D "$work/server/data" -U otdr --auth=trust -E UTF8 > /dev/null
server_data=$work/server/data
as_postgres "$pg_bin/pg_ctl" -D "$server_data" -l "$work/server/log" -w \
    -o "-p $port -k $work/server -c listen_addresses=127.0.0.1" start > /dev/null
for name in linux windows; do
    as_postgres "$pg_bin/psql" -h 127.0.0.1 -p "$port" -U otdr -d postgres -q \
        -c "CREATE DATABASE otdr_$name" > /dev/null
done
url="postgresql://otdr@127.0.0.1:$port/otdr_BUILD"
same_output "archive add with PostgreSQL" archive add traces pairs --db "$url"
for db in linux windows; do
    same_output "archive find on the server" archive find --json --db "${url/BUILD/$db}"
done
diff <(linux archive find --json --db "${url/BUILD/linux}" | without_places) \
    <(without_places <<< "$found") > diff.txt \
    || fail "the server holds other traces than the SQLite file: $(head -n 10 diff.txt)"
echo "otdr-sor.exe: archive add and find on a PostgreSQL server as otdr-sor"
