#!/usr/bin/env bash
# Makes the key that signs the suite's updates:
#
#   scripts/make-update-key.sh KEYFILE
#
# KEYFILE gets the secret Ed25519 key as `openssl genpkey -algorithm ed25519`
# writes it (PEM), readable by its owner alone from its first byte; keep it
# off the update server. KEYFILE.pub gets one line, the base64 of the 32-byte
# public key, which make-drive.sh --update-key writes into the drives'
# Configuration.plist. An existing KEYFILE is never replaced: drives that
# trust its public key would take no update signed by a new one.
set -euo pipefail

die() { echo "make-update-key.sh: $*" >&2; exit 2; }
[ $# -eq 1 ] || { echo "usage: make-update-key.sh KEYFILE" >&2; exit 2; }
key=$1
command -v openssl >/dev/null || die "openssl is needed"
[ -e "$key" ] && die "$key exists; it is not replaced"
[ -e "$key.pub" ] && die "$key.pub exists; it is not replaced"

# The secret key is never readable by others, not even for a moment.
umask 077
partial=$key.partial-$$
trap 'rm -f "$partial"' EXIT
openssl genpkey -algorithm ed25519 -out "$partial" 2>/dev/null || die "openssl could not make a key"
# The public key in DER ends with its 32 raw bytes.
public=$(openssl pkey -in "$partial" -pubout -outform DER | tail -c 32 | base64 -w0)
[ "$(printf '%s' "$public" | base64 -d | wc -c)" -eq 32 ] || die "the public key could not be read back"
mv -n "$partial" "$key"
[ -e "$partial" ] && die "$key appeared meanwhile; it is not replaced"
umask 022
printf '%s\n' "$public" > "$key.pub"
echo "$key.pub $public"
