#!/usr/bin/env bash
# Signs Windows executables and installers in place with osslsigncode:
#   tools/windows-sign.sh CERT_DIR FILE...
# With OTDR_SIGN_PFX (and OTDR_SIGN_PASS), that certificate. Otherwise a throwaway self-signed
# certificate, made once in CERT_DIR (cert.pem, key.pem), so that the step always runs: Windows
# does not trust what it signs.
set -euo pipefail
certs=$1
shift
mkdir -p "$certs"
if [ -z "${OTDR_SIGN_PFX:-}" ] && [ ! -f "$certs/cert.pem" ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=otdr (teste)/O=otdr" \
        -keyout "$certs/key.pem" -out "$certs/cert.pem" > /dev/null 2>&1
    echo "windows-sign: a throwaway self-signed certificate ($certs/cert.pem): Windows does" \
        "not trust what it signs" >&2
fi
for file in "$@"; do
    if [ -n "${OTDR_SIGN_PFX:-}" ]; then
        osslsigncode sign -pkcs12 "$OTDR_SIGN_PFX" -pass "${OTDR_SIGN_PASS:-}" -n otdr \
            -h sha256 -in "$file" -out "$file.signed" > /dev/null
    else
        osslsigncode sign -certs "$certs/cert.pem" -key "$certs/key.pem" -n otdr -h sha256 \
            -in "$file" -out "$file.signed" > /dev/null
    fi
    mv "$file.signed" "$file"
done
