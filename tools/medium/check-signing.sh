#!/bin/sh
# The release signing step (tools/sign.sh) with a throwaway self-signed
# certificate, in both forms a vendor may hold one (certificate and key as PEM;
# a password-protected PKCS#12 file): the signed copy verifies against that
# certificate with osslsigncode and carries a SHA-1 signature first (all that
# NT 4, 2000 and XP before SP3 read) with a SHA-256 one nested in it; it has the
# same version resource, and without its signatures is the unsigned build byte
# for byte; the signed copy still runs under Wine. Signing without a timestamp
# warns on stderr; a signature that does not verify makes sign.sh fail and
# write nothing. The build itself stays unsigned.
# check-signing.sh <i686 exe> [<wine-run.sh of its build>]; exit 77 (skipped)
# when the i686 build is absent. Without a wine-run.sh (a machine that cannot
# run 32-bit programs) the signed copy is not run; CTest reports that run as a
# test of its own, skipped.
exe=$1
winerun=${2:-}
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
  # sign.sh checks its own result, and the throwaway certificate is known to no
  # system: it is the CA file.
  if [ $form = pem ]; then
    said=$(env -u KX_SIGN_PKCS12 -u KX_SIGN_TIMESTAMP_URL -u KX_SIGN_PASSWORD KX_SIGN_CERT="$dir/cert.pem" \
           KX_SIGN_KEY="$dir/key.pem" KX_SIGN_CAFILE="$dir/cert.pem" sh "$sign" "$exe" "$signed" 2>"$dir/$form.err")
  else
    said=$(env -u KX_SIGN_CERT -u KX_SIGN_KEY -u KX_SIGN_TIMESTAMP_URL KX_SIGN_PKCS12="$dir/signer.p12" \
           KX_SIGN_PASSWORD=throwaway KX_SIGN_CAFILE="$dir/cert.pem" sh "$sign" "$exe" "$signed" 2>"$dir/$form.err")
  fi || { echo "$form: signing failed: $said"; cat "$dir/$form.err"; fail=1; continue; }
  # The vendor must not miss it among osslsigncode's lines: a block of its own
  # on stderr, at the end.
  warning=$(sed -n '/^WARNING:/,$p' "$dir/$form.err")
  { echo "$warning" | grep -q 'not timestamped' && echo "$warning" | grep -q 'certificate expires' \
    && [ "$(echo "$warning" | grep -c '^WARNING:')" -ge 2 ]; } \
    || { echo "$form: no WARNING block on stderr that the signature is not timestamped:"; cat "$dir/$form.err"; fail=1; }
  verified=$(osslsigncode verify -CAfile "$dir/cert.pem" -in "$signed" 2>&1) \
    || { echo "$form: the signature does not verify:"; echo "$verified"; fail=1; }
  # Which digest each signature has, in order: the primary one is the one
  # Windows before XP SP3 check, so it has to be the SHA-1 one.
  digests=$(echo "$verified" | awk '/^Signature Index:/ { i = $3 }
                                    /^Message digest algorithm  *:/ { print i ":" $NF }' | tr '\n' ' ')
  [ "$digests" = "0:SHA1 1:SHA256 " ] \
    || { echo "$form: expected a SHA-1 signature with a SHA-256 one nested, osslsigncode reports (index:digest) $digests"; fail=1; }
  echo "$verified" | grep -q '^Number of verified signatures: 2$' \
    || { echo "$form: osslsigncode did not verify two signatures:"; echo "$verified" | grep '^Number'; fail=1; }
  wrestool -x --raw -t16 -n1 "$exe" > "$dir/version.unsigned"
  wrestool -x --raw -t16 -n1 "$signed" > "$dir/version.signed"
  [ -s "$dir/version.signed" ] && cmp -s "$dir/version.unsigned" "$dir/version.signed" \
    || { echo "$form: the version resource differs"; fail=1; }
  osslsigncode remove-signature -in "$signed" -out "$dir/$form/stripped.exe" >/dev/null
  cmp -s "$exe" "$dir/$form/stripped.exe" || { echo "$form: without its signature the file is not the build"; fail=1; }
  echo "$form: signed $(wc -c < "$signed") bytes, unsigned $(wc -c < "$exe") bytes"
done

# A signature that does not verify (here: the throwaway certificate without the
# CA file naming it) must stop sign.sh before anything is written.
env -u KX_SIGN_PKCS12 -u KX_SIGN_TIMESTAMP_URL -u KX_SIGN_PASSWORD -u KX_SIGN_CAFILE \
  KX_SIGN_CERT="$dir/cert.pem" KX_SIGN_KEY="$dir/key.pem" \
  sh "$sign" "$exe" "$dir/untrusted/kxsetup.exe" >/dev/null 2>"$dir/untrusted.err" \
  && { echo "sign.sh succeeded with a signature that does not verify"; fail=1; }
[ -e "$dir/untrusted/kxsetup.exe" ] && { echo "sign.sh left a signed file that does not verify"; fail=1; }
grep -q '^ERROR:' "$dir/untrusted.err" || { echo "sign.sh failed without an ERROR line:"; cat "$dir/untrusted.err"; fail=1; }
[ -z "$(ls -A "$dir/untrusted" 2>/dev/null)" ] || { echo "sign.sh left files behind:"; ls -A "$dir/untrusted"; fail=1; }

[ "$(cksum < "$exe")" = "$before" ] || { echo "signing changed the build's own file"; fail=1; }
osslsigncode verify -in "$exe" >/dev/null 2>&1 && { echo "the build's own file is signed"; fail=1; }

# The program as Windows loads it: the signed copy refuses an unknown option
# exactly as the unsigned one does.
if [ -n "$winerun" ]; then
  "$winerun" "$exe" /quiet /no-such-option >/dev/null 2>&1; unsigned=$?
  "$winerun" "$dir/pem/kxsetup.exe" /quiet /no-such-option >/dev/null 2>&1; signedrun=$?
  # A Unix exit status keeps the low 8 bits of 1639.
  [ "$unsigned" = $((1639 % 256)) ] && [ "$signedrun" = $((1639 % 256)) ] \
    || { echo "exit status of /quiet /no-such-option: unsigned $unsigned, signed $signedrun; expected 1639 (103)"; fail=1; }
fi

[ $fail = 0 ] && echo "signing: both forms verify as SHA-1 with nested SHA-256, version resource and program unchanged, build unsigned"
exit $fail
