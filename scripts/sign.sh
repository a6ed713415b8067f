#!/usr/bin/env bash
# Signs and verifies what we ship with osslsigncode (2.9 or later, for .msix): PE files
# (Framewise.dll, Framewise.exe), MSI packages and the sparse package.
#
#   scripts/sign.sh sign FILE...          signs each file in place
#   scripts/sign.sh verify FILE...        checks each signature ("Signature verification: ok")
#   scripts/sign.sh certificate DIR       a throwaway self-signed code-signing certificate for
#                                         tests: DIR/signing.pfx (password "test") and
#                                         DIR/signing.pem; prints the variables to use
#                                         it, for eval "export $(sign.sh certificate DIR)"
#   scripts/sign.sh subject OUT.pem       writes the signing certificate (no key) to OUT.pem
#
# Environment (a release sets the first three; never commit a key):
#   FRAMEWISE_SIGN_PFX        the certificate with its private key (PKCS#12 .pfx)
#   FRAMEWISE_SIGN_PASSWORD   the .pfx password (read from the environment, never a file)
#   FRAMEWISE_TIMESTAMP_URL   an RFC 3161 time-stamp server; without it the signature ends
#                             with the certificate's validity
#   FRAMEWISE_SIGN_CAFILE     for verify: trusted roots in PEM (default: the system's list)
set -euo pipefail

need_pfx() {
  [ -n "${FRAMEWISE_SIGN_PFX:-}" ] && [ -f "$FRAMEWISE_SIGN_PFX" ] \
    || { echo "sign.sh: FRAMEWISE_SIGN_PFX does not name a .pfx file" >&2; exit 1; }
}

# The certificate of the .pfx as PEM; release files exported by Windows may need -legacy.
export_certificate() {
  local out=$1
  export FRAMEWISE_SIGN_PASSWORD=${FRAMEWISE_SIGN_PASSWORD-}
  openssl pkcs12 -in "$FRAMEWISE_SIGN_PFX" -nokeys -clcerts -passin env:FRAMEWISE_SIGN_PASSWORD \
      -out "$out" 2>/dev/null \
    || openssl pkcs12 -legacy -in "$FRAMEWISE_SIGN_PFX" -nokeys -clcerts \
         -passin env:FRAMEWISE_SIGN_PASSWORD -out "$out" 2>/dev/null \
    || { echo "sign.sh: cannot read $FRAMEWISE_SIGN_PFX (password?)" >&2; exit 1; }
}

sign_one() {
  local file=$1 tmp="$1.signing.$$"
  rm -f "$tmp"  # osslsigncode writes only a new file
  local args=(sign -pkcs12 "$FRAMEWISE_SIGN_PFX" -n "Wrenfly Framewise" -h sha256)
  [ -z "${FRAMEWISE_TIMESTAMP_URL:-}" ] || args+=(-ts "$FRAMEWISE_TIMESTAMP_URL")
  # The password reaches osslsigncode through a pipe, not its command line.
  if ! osslsigncode "${args[@]}" -readpass <(printf '%s' "${FRAMEWISE_SIGN_PASSWORD-}") \
       -in "$file" -out "$tmp" >"$tmp.log" 2>&1; then
    cat "$tmp.log" >&2; rm -f "$tmp" "$tmp.log"
    echo "sign.sh: signing $file failed" >&2; exit 1
  fi
  rm -f "$tmp.log"
  mv "$tmp" "$file"
}

verify_one() {
  local file=$1 out
  local args=(verify -in "$file")
  [ -z "${FRAMEWISE_SIGN_CAFILE:-}" ] || args+=(-CAfile "$FRAMEWISE_SIGN_CAFILE")
  if out=$(osslsigncode "${args[@]}" 2>&1) && grep -q '^Signature verification: ok' <<<"$out"; then
    echo "$file: Signature verification: ok"
  else
    echo "$out" >&2; echo "sign.sh: $file: signature not verified" >&2; return 1
  fi
}

command=${1:-}; shift || true
case "$command" in
  sign)
    need_pfx
    for file in "$@"; do sign_one "$file"; done ;;
  verify)
    status=0
    for file in "$@"; do verify_one "$file" || status=1; done
    exit $status ;;
  certificate)
    dir=$1; mkdir -p "$dir"
    # Code signing only, not a CA; valid for the length of a test run and then some.
    openssl req -x509 -newkey rsa:3072 -nodes -days 7 -keyout "$dir/signing.key" -out "$dir/signing.pem" \
      -subj "/C=US/O=Wrenfly/CN=Wrenfly Framewise Test Signing" \
      -addext "basicConstraints=critical,CA:FALSE" -addext "keyUsage=critical,digitalSignature" \
      -addext "extendedKeyUsage=codeSigning" 2>/dev/null
    openssl pkcs12 -export -inkey "$dir/signing.key" -in "$dir/signing.pem" -out "$dir/signing.pfx" \
      -passout pass:test
    rm -f "$dir/signing.key"
    # Shell-quoted, for: eval "export $(scripts/sign.sh certificate DIR)"
    printf 'FRAMEWISE_SIGN_PFX=%q FRAMEWISE_SIGN_PASSWORD=test FRAMEWISE_SIGN_CAFILE=%q\n' \
      "$dir/signing.pfx" "$dir/signing.pem" ;;
  subject)
    need_pfx
    export_certificate "$1" ;;
  *)
    sed -n '2,20p' "$0" >&2; exit 2 ;;
esac
