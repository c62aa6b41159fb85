#!/bin/sh
# The release signing step (tools/sign.sh) with a throwaway self-signed
# certificate, in both forms a vendor may hold one (certificate and key as PEM;
# a password-protected PKCS#12 file): the signed copy verifies against that
# certificate with osslsigncode, carries a SHA-256 signature, has the same
# version resource, and without its signature is the unsigned build byte for
# byte; the signed copy still runs under Wine. The build itself stays
# unsigned. check-signing.sh <i686 exe> <wine-run.sh of its build>; exit 77
# (skipped) when the i686 build is absent.
exe=$1
winerun=$2
sign=$(dirname "$0")/../sign.sh
if [ ! -f "$exe" ]; then
  echo "no i686 build at $exe: skipped"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
before=$(cksum < "$exe")

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velba throwaway test signer" \
  -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature \
  -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null || { echo "openssl cannot make a certificate"; exit 1; }
openssl pkcs12 -export -in "$dir/cert.pem" -inkey "$dir/key.pem" -passout pass:throwaway \
  -out "$dir/signer.p12" || { echo "openssl cannot make a PKCS#12 file"; exit 1; }

for form in pem pkcs12; do
  signed=$dir/$form/kxsetup.exe
  if [ $form = pem ]; then
    said=$(env -u KX_SIGN_PKCS12 -u KX_SIGN_TIMESTAMP_URL KX_SIGN_CERT="$dir/cert.pem" \
           KX_SIGN_KEY="$dir/key.pem" sh "$sign" "$exe" "$signed")
  else
    said=$(env -u KX_SIGN_CERT -u KX_SIGN_KEY -u KX_SIGN_TIMESTAMP_URL KX_SIGN_PKCS12="$dir/signer.p12" \
           KX_SIGN_PASSWORD=throwaway sh "$sign" "$exe" "$signed")
  fi || { echo "$form: signing failed: $said"; fail=1; continue; }
  echo "$said" | grep -q 'not timestamped' || { echo "$form: no word that the signature is untimestamped"; fail=1; }
  verified=$(osslsigncode verify -CAfile "$dir/cert.pem" -in "$signed" 2>&1) \
    || { echo "$form: the signature does not verify:"; echo "$verified"; fail=1; }
  echo "$verified" | grep -q '^Message digest algorithm  : SHA256' || { echo "$form: not a SHA-256 signature"; fail=1; }
  wrestool -x --raw -t16 -n1 "$exe" > "$dir/version.unsigned"
  wrestool -x --raw -t16 -n1 "$signed" > "$dir/version.signed"
  [ -s "$dir/version.signed" ] && cmp -s "$dir/version.unsigned" "$dir/version.signed" \
    || { echo "$form: the version resource differs"; fail=1; }
  osslsigncode remove-signature -in "$signed" -out "$dir/$form/stripped.exe" >/dev/null
  cmp -s "$exe" "$dir/$form/stripped.exe" || { echo "$form: without its signature the file is not the build"; fail=1; }
  echo "$form: signed $(wc -c < "$signed") bytes, unsigned $(wc -c < "$exe") bytes"
done

[ "$(cksum < "$exe")" = "$before" ] || { echo "signing changed the build's own file"; fail=1; }
osslsigncode verify -in "$exe" >/dev/null 2>&1 && { echo "the build's own file is signed"; fail=1; }

# The program as Windows loads it: the signed copy refuses an unknown option
# exactly as the unsigned one does.
"$winerun" "$exe" /quiet /no-such-option >/dev/null 2>&1; unsigned=$?
"$winerun" "$dir/pem/kxsetup.exe" /quiet /no-such-option >/dev/null 2>&1; signedrun=$?
# A Unix exit status keeps the low 8 bits of 1639.
[ "$unsigned" = $((1639 % 256)) ] && [ "$signedrun" = $((1639 % 256)) ] \
  || { echo "exit status of /quiet /no-such-option: unsigned $unsigned, signed $signedrun; expected 1639 (103)"; fail=1; }

[ $fail = 0 ] && echo "signing: both forms verify, version resource and program unchanged, build unsigned"
exit $fail
