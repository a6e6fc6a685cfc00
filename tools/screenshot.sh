#!/usr/bin/env bash
# Run under an X server: starts the simulated instrument with otdr, waits for the listing to
# be shown, and saves the screen. Usage: screenshot.sh OTDR_SIM OUTPUT.png
set -euo pipefail
sim=$1
out=$2
log=$(mktemp)
"$sim" --log 2> "$log" &
pid=$!
for _ in $(seq 1 100); do
    grep -q "files read" "$log" && break
    sleep 0.1
done
sleep 1.5 # the table is filled half a second after the listing ends
import -window root "$out"
kill "$pid"
wait "$pid" || true
rm -f "$log"
