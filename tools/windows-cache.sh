# Sourced by the Windows build scripts: the folder they cache their cross builds in, made and
# absolute, in $cache (the script's first argument, else OTDR_WINDOWS_CACHE, else the default).
cache=${1:-${OTDR_WINDOWS_CACHE:-$HOME/.cache/otdr-windows}}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
