#!/bin/sh
# Signs a release: sign.sh <unsigned exe> <signed exe>. Writes an Authenticode
# signature (SHA-256) made with osslsigncode from the vendor's code-signing
# certificate, named by the environment:
#   KX_SIGN_PKCS12           a PKCS#12 file (.pfx/.p12) with certificate, chain and key
#   KX_SIGN_CERT, KX_SIGN_KEY  or the certificate (chain) and the private key, PEM or DER
#   KX_SIGN_PASSWORD         the password of the PKCS#12 file or of the key, if any
#   KX_SIGN_TIMESTAMP_URL    an RFC 3161 time-stamping service; without one the
#                            signature is untimestamped and ends with the certificate
# The unsigned file is left as it is.
set -eu
in=$1
out=$2
if [ -n "${KX_SIGN_PKCS12:-}" ]; then
  set -- -pkcs12 "$KX_SIGN_PKCS12"
elif [ -n "${KX_SIGN_CERT:-}" ] && [ -n "${KX_SIGN_KEY:-}" ]; then
  set -- -certs "$KX_SIGN_CERT" -key "$KX_SIGN_KEY"
else
  echo "sign: no certificate; set KX_SIGN_PKCS12, or KX_SIGN_CERT and KX_SIGN_KEY" >&2
  exit 2
fi
if [ -n "${KX_SIGN_TIMESTAMP_URL:-}" ]; then
  set -- "$@" -ts "$KX_SIGN_TIMESTAMP_URL"
else
  echo "sign: no KX_SIGN_TIMESTAMP_URL: the signature is not timestamped and is valid only as long as the certificate"
fi
mkdir -p "$(dirname "$out")"
rm -f "$out"
set -- "$@" -h sha256 -n "Velba Printer Setup" -in "$in" -out "$out"
# The password goes through a pipe, not the command line that others may see.
if [ -n "${KX_SIGN_PASSWORD:-}" ]; then
  printf '%s\n' "$KX_SIGN_PASSWORD" | osslsigncode sign -readpass - "$@"
else
  osslsigncode sign "$@"
fi
echo "sign: $out ($(wc -c < "$out") bytes; unsigned $(wc -c < "$in") bytes)"
