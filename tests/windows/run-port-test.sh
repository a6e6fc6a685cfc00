#!/usr/bin/env bash
# Runs the Windows port test under Wine against the simulated instrument:
#   run-port-test.sh OTDR_SIM WINEPREFIX TEST.exe FUNCTIONS... [-- SIMULATOR OPTIONS...]
# (a function list, then the simulator's options from the first one that starts with --).
# Wine maps COM5 to the simulator's pseudo-terminal through its registry, read when its
# server starts; the prefix is this test's own, so restarting that server stops nothing else.
set -euo pipefail
sim=$1 prefix=$2 test=$3
shift 3
functions=()
while [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; do
    functions+=("$1")
    shift
done
export WINEPREFIX=$prefix
if [ -z "${OTDR_SIM_TTY:-}" ]; then
    exec "$sim" --bare-pty "$@" -- "$0" "$sim" "$prefix" "$test" "${functions[@]}"
fi
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$OTDR_SIM_TTY" /f > /dev/null 2>&1
wineserver -k > /dev/null 2>&1 || true
wineserver -w
OTDR_SIM_PORT=COM5 wine "$test" "${functions[@]}" < /dev/null
