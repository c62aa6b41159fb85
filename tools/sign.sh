#!/bin/sh
# Signs a release: sign.sh <unsigned exe> <signed exe>. Writes two Authenticode
# signatures made with osslsigncode from the vendor's code-signing certificate:
# a SHA-1 one, and a SHA-256 one nested in it. Windows NT 4, 2000 and XP
# before SP3 check only the first and know no SHA-256; later Windows prefer the
# SHA-256 one. The certificate is named by the environment:
#   KX_SIGN_PKCS12           a PKCS#12 file (.pfx/.p12) with certificate, chain and key
#   KX_SIGN_CERT, KX_SIGN_KEY  or the certificate (chain) and the private key, PEM or DER
#   KX_SIGN_PASSWORD         the password of the PKCS#12 file or of the key, if any
#   KX_SIGN_TIMESTAMP_URL    a time-stamping service that speaks both the Authenticode
#                            protocol (for the SHA-1 signature) and RFC 3161 (for the
#                            SHA-256 one); without one the signatures are untimestamped
#                            and end with the certificate
#   KX_SIGN_CAFILE           the CA certificates (PEM, one file) of the signer and of the
#                            time-stamping service that the result is verified against;
#                            if unset, the system's (osslsigncode's default)
# The unsigned file is left as it is; the signed one is written only once it
# verifies.
set -eu
in=$1
out=$2
if [ -z "${KX_SIGN_PKCS12:-}" ] && { [ -z "${KX_SIGN_CERT:-}" ] || [ -z "${KX_SIGN_KEY:-}" ]; }; then
  echo "sign: no certificate; set KX_SIGN_PKCS12, or KX_SIGN_CERT and KX_SIGN_KEY" >&2
  exit 2
fi

# osslsign <timestamp option: -t or -ts> <osslsigncode sign options>...
osslsign() {
  stamp=$1
  shift
  if [ -n "${KX_SIGN_PKCS12:-}" ]; then
    set -- -pkcs12 "$KX_SIGN_PKCS12" "$@"
  else
    set -- -certs "$KX_SIGN_CERT" -key "$KX_SIGN_KEY" "$@"
  fi
  if [ -n "${KX_SIGN_TIMESTAMP_URL:-}" ]; then
    set -- "$stamp" "$KX_SIGN_TIMESTAMP_URL" "$@"
  fi
  # The password goes through a pipe, not the command line that others may see.
  if [ -n "${KX_SIGN_PASSWORD:-}" ]; then
    printf '%s\n' "$KX_SIGN_PASSWORD" | osslsigncode sign -readpass - "$@"
  else
    osslsigncode sign "$@"
  fi
}

outdir=$(dirname "$out")
mkdir -p "$outdir"
rm -f "$out"
# Next to the result, so that the final rename stays on one file system; a
# half-signed file never appears under the name that goes on the medium.
work=$(mktemp -d "$outdir/.sign.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM

desc="Velba Printer Setup"
# Older Windows read only the first signature, and that one must be SHA-1 with
# an Authenticode timestamp (-t), the only kind they understand; the nested
# SHA-256 one gets an RFC 3161 timestamp (-ts).
osslsign -t -h sha1 -n "$desc" -in "$in" -out "$work/sha1.exe" \
  || { echo "ERROR: sign: osslsigncode could not make the SHA-1 signature (above); nothing was written to $out" >&2; exit 1; }
osslsign -ts -nest -h sha256 -n "$desc" -in "$work/sha1.exe" -out "$work/signed.exe" \
  || { echo "ERROR: sign: osslsigncode could not nest the SHA-256 signature (above); nothing was written to $out" >&2; exit 1; }

if [ -n "${KX_SIGN_CAFILE:-}" ]; then
  set -- -CAfile "$KX_SIGN_CAFILE" -TSA-CAfile "$KX_SIGN_CAFILE"
else
  set --
fi
# osslsigncode fails when any signature it finds is bad, but it is content with
# one; a nesting step that silently did nothing would otherwise pass.
if ! verified=$(osslsigncode verify "$@" -in "$work/signed.exe" 2>&1) \
   || ! printf '%s\n' "$verified" | grep -q '^Number of verified signatures: 2$'; then
  printf '%s\n' "$verified" >&2
  cat >&2 <<EOF

ERROR: the signed file does not verify as a SHA-1 signature with a nested
ERROR: SHA-256 one (osslsigncode verify${KX_SIGN_CAFILE:+ against $KX_SIGN_CAFILE}, above).
ERROR: A certificate from a CA the system does not know needs KX_SIGN_CAFILE.
ERROR: Nothing was written to $out.
EOF
  exit 1
fi
mv "$work/signed.exe" "$out"

echo "sign: $out ($(wc -c < "$out") bytes; unsigned $(wc -c < "$in") bytes): SHA-1 signature, nested SHA-256 signature"
if [ -z "${KX_SIGN_TIMESTAMP_URL:-}" ]; then
  # Last, so that it is what the vendor sees when the step ends.
  cat >&2 <<EOF
WARNING: no KX_SIGN_TIMESTAMP_URL was given: the signatures are not timestamped.
WARNING: They become invalid when the signing certificate expires, and
WARNING: Windows then treats $out as unsigned.
WARNING: For a release, sign again with KX_SIGN_TIMESTAMP_URL set.

EOF
fi
