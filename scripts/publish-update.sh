#!/usr/bin/env bash
# Publishes a drive folder as an update:
#
#   scripts/publish-update.sh --key KEYFILE DRIVE_DIR VERSION RELEASES_DIR
#
# DRIVE_DIR is a folder laid out by make-drive.sh with the new build; VERSION
# is the version the drives will report once updated (1 to 4 numbers). The
# package, a zip archive of what the Updater places over a drive's top
# folder (the bundle and the launchers, never a user's data), goes to
# RELEASES_DIR/packages/HalvexDravane-VERSION.zip, and a line with its
# SHA-256 digest and signature goes into RELEASES_DIR/releases.list under the
# suite's identifier; `halvex-update-service --root RELEASES_DIR` serves both.
#
# KEYFILE is the secret key of make-update-key.sh. It signs the text
# "halvex-update ID VERSION SHA256" (single spaces, no line end, the digest in
# lower-case hex), and drives install the package only when their
# Configuration.plist lists its public key, so nothing is published unsigned.
set -euo pipefail

# The identifier every edition of the suite asks the update service with.
suite_id=01

die() { echo "publish-update.sh: $*" >&2; exit 2; }
usage() { echo "usage: publish-update.sh --key KEYFILE DRIVE_DIR VERSION RELEASES_DIR" >&2; exit 2; }
[ "${1:-}" = "--key" ] && [ $# -eq 5 ] || usage
key=$2 drive=$3 version=$4 releases=$5
[ -f "$key" ] && [ -r "$key" ] || die "$key is not a readable key file (make-update-key.sh makes one)"
[[ "$version" =~ ^[0-9]{1,9}(\.[0-9]{1,9}){0,3}$ ]] || die "VERSION must be 1 to 4 numbers joined by dots: $version"
bundle=$drive/HalvexDravane.app
[ -f "$bundle/Contents/Linux/dravane" ] && [ -d "$bundle/Contents/Resources" ] ||
  die "$drive is not a drive folder made by make-drive.sh"
for tool in zip sha256sum openssl base64; do command -v $tool >/dev/null || die "$tool is needed"; done

mkdir -p "$releases/packages"
name=HalvexDravane-$version.zip
staging=$(mktemp -d)
partial=$releases/packages/.$name.partial-$$
trap 'rm -rf "$staging" "$partial" "$releases/.releases.list.partial-$$"' EXIT
# The key is tried before anything is packed: a wrong file stops here.
openssl pkey -in "$key" -noout 2>/dev/null || die "$key is not a secret key openssl can read"

cp -a "$bundle" "$staging/"
for launcher in HalvexDravane.sh autorun.sh; do
  [ -f "$drive/$launcher" ] && cp -a "$drive/$launcher" "$staging/"
done
# The drives report the published version from here (and their launcher
# keys its cached copy of the programs on it).
printf '%s\n' "$version" > "$staging/HalvexDravane.app/Contents/Linux/VERSION"
# Hidden files are never placed by the Updater; they stay out of the package.
(cd "$staging" && zip -q -r -X "$partial" . -x '.*' -x '*/.*')
digest=$(sha256sum "$partial" | cut -d' ' -f1)
printf 'halvex-update %s %s %s' "$suite_id" "$version" "$digest" > "$staging/signed-text"
signature=$(openssl pkeyutl -sign -rawin -inkey "$key" -in "$staging/signed-text" | base64 -w0)
[ "$(printf '%s' "$signature" | base64 -d | wc -c)" -eq 64 ] || die "$key did not sign the package (is it an Ed25519 key?)"
mv -f "$partial" "$releases/packages/$name"

# The release list is replaced whole, so the service never reads half of it;
# a release published again under the same version replaces its line.
list=$releases/releases.list
{
  if [ -f "$list" ]; then
    awk -v id="$suite_id" -v version="$version" '!($1 == id && $2 == version)' "$list"
  else
    echo "# identifier version package sha256 signature, one release a line (scripts/publish-update.sh)"
  fi
  echo "$suite_id $version packages/$name $digest $signature"
} > "$releases/.releases.list.partial-$$"
mv -f "$releases/.releases.list.partial-$$" "$list"
echo "$releases/packages/$name $digest"
