#!/usr/bin/env bash
# Run under an X server: starts the simulated instrument with otdr and saves the screen.
# Usage: screenshot.sh OTDR_SIM OUTPUT.png [waiting|view]
#   default: once the listing is shown; waiting: before the cable is plugged in, once the three
#   start-up warnings have been answered (with xdotool), showing the note in the empty table;
#   view: otdr-view (beside OTDR_SIM) with six sample traces overlaid, their events flagged, and
#   its markers.
set -euo pipefail
sim=$1
out=$2
mode=${3:-listed}
log=$(mktemp)
if [ "$mode" = view ]; then
    samples=$(dirname "$sim")/../samples
    "$(dirname "$sim")/otdr-view" "$samples"/ROTA0{1,2}_1{310,550}.sor "$samples/pairs/1550-ab.sor" \
        "$samples/ENLACE-CENTRO_1550.sor" 2> "$log" &
    pid=$!
    sleep 2.5
    window=$(xdotool search --name '^otdr-view$' | head -n 1)
elif [ "$mode" = waiting ]; then
    "$sim" --log --plug-after 600 2> "$log" &
    pid=$!
    for _ in 1 2 3; do
        sleep 1.5
        xdotool key Return
    done
    sleep 1.5
else
    "$sim" --log 2> "$log" &
    pid=$!
    for _ in $(seq 1 100); do
        grep -q "arquivos lida" "$log" && break
        sleep 0.1
    done
    sleep 1.5 # the table is filled half a second after the listing ends
fi
import -window "${window:-root}" "$out"
kill "$pid"
wait "$pid" || true
rm -f "$log"
