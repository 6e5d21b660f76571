#!/usr/bin/env bash
# Publishing an update, end to end on loopback: make-update-key.sh makes the
# publisher's key, publish-update.sh signs and publishes version 1.0.1 of a
# drive folder, halvex-update-service serves it, and a drive made at the
# build's version with make-drive.sh --update-key checks, downloads,
# installs and starts at 1.0.1 (`sh HalvexDravane.sh --cli check-update
# --install`); a second check finds it up to date.
set -euo pipefail
src=$1 build=$2 service=$3
for tool in zip sha256sum openssl; do
  command -v $tool >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
# The check first asks whether this computer is online at all.
awk 'NR > 1 && $2 == "00000000" && $1 != "lo" { found = 1 } END { exit !found }' /proc/net/route ||
  { echo "SKIP: no default route"; exit 77; }

work=$(mktemp -d)
# Ends every process that runs a program from this test's folders, by id.
end_ours() {
  local p exe
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case "$exe" in "$work"/*) kill "${p#/proc/}" 2>/dev/null || true ;; esac
  done
}
service_pid=
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
  end_ours
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/service.log" ] && cat "$work/service.log"; exit 1; }

stick=$work/STICK next=$work/next releases=$work/releases key=$work/keys/update.key
mkdir "$work/keys"
"$src/scripts/make-update-key.sh" "$key" >/dev/null
[ "$(stat -c %a "$key")" = 600 ] || fail "the secret key is open to others: $(stat -c %a "$key")"
grep -qE '^[A-Za-z0-9+/]{43}=$' "$key.pub" || fail "public key: $(cat "$key.pub")"
"$src/scripts/make-update-key.sh" "$key" >/dev/null 2>&1 && fail "an existing key was replaced"
HALVEX_BUILD_DIR=$build "$src/scripts/make-drive.sh" --update-key "$key.pub" "$stick" >/dev/null
grep -q "<string>$(cat "$key.pub")</string>" "$stick/HalvexDravane.app/Contents/Resources/Configuration.plist" ||
  fail "the drive does not list the key"
HALVEX_BUILD_DIR=$build "$src/scripts/make-drive.sh" "$next" >/dev/null
echo "published with 1.0.1" > "$next/HalvexDravane.app/Contents/Resources/published.txt"
# Nothing is published unsigned.
"$src/scripts/publish-update.sh" "$next" 1.0.1 "$releases" >/dev/null 2>&1 && fail "published without a key"
[ ! -e "$releases/releases.list" ] || fail "a release list was written without a key"
"$src/scripts/publish-update.sh" --key "$key" "$next" 1.0.1 "$releases" >/dev/null
grep -qE "^01 1.0.1 packages/HalvexDravane-1.0.1.zip [0-9a-f]{64} [A-Za-z0-9+/]{86}==$" "$releases/releases.list" ||
  fail "release list: $(cat "$releases/releases.list")"

"$service" --root "$releases" --listen 127.0.0.1:0 > "$work/service.log" &
service_pid=$!
for _ in $(seq 1 100); do grep -q '^listening on' "$work/service.log" 2>/dev/null && break; sleep 0.1; done
address=$(sed -n 's/^listening on //p' "$work/service.log")
[ -n "$address" ] || fail "the service did not start"

mkdir -p "$stick/Halvex Data"
cat > "$stick/Halvex Data/com.halvex.dravane.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8" ?>
<plist version="1.0"><dict><key>eula</key><true /><key>CheckUpdate</key><false /></dict></plist>
PLIST

# Plain http only through this variable and only on loopback; a drive's own
# configuration must name https.
export HALVEX_UPDATE_URL=http://$address/
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp HALVEX_ASSUME_USB=1 LC_ALL=C QT_QPA_PLATFORM=offscreen
export no_proxy=127.0.0.1
mkdir -m 700 "$XDG_RUNTIME_DIR" "$TMPDIR"

sh "$stick/HalvexDravane.sh" --cli check-update --install > "$work/first.out" 2>&1 || fail "check-update --install: $(cat "$work/first.out")"
grep -q '^version: 1.0.1$' "$work/first.out" || fail "no offer: $(cat "$work/first.out")"

linux=$stick/HalvexDravane.app/Contents/Linux
for _ in $(seq 1 600); do
  [ "$(cat "$linux/VERSION")" = 1.0.1 ] && [ ! -e "$stick/.halvex-update-journal" ] && break
  sleep 0.2
done
[ "$(cat "$linux/VERSION")" = 1.0.1 ] || fail "the update was not installed (VERSION $(cat "$linux/VERSION"))"
[ -f "$stick/HalvexDravane.app/Contents/Resources/published.txt" ] || fail "the package's new file is missing"
[ -z "$(find "$stick" -name '.halvex-new-*' -o -name '.halvex-old-*')" ] || fail "install leftovers"
echo "update installed"

# The Updater starts the suite again through the launcher, from a fresh
# cached copy of the 1.0.1 programs.
started=
for _ in $(seq 1 600); do
  for p in /proc/[0-9]*; do
    case "$(readlink "$p/exe" 2>/dev/null)" in "$XDG_CACHE_HOME"/halvex-dravane/1.0.1-*/HalvexDravane) started=1 ;; esac
  done
  [ -n "$started" ] && break
  sleep 0.2
done
[ -n "$started" ] || fail "the suite was not started at 1.0.1"
echo "suite started at 1.0.1"
end_ours

sh "$stick/HalvexDravane.sh" --cli check-update > "$work/second.out" 2>&1 || fail "second check: $(cat "$work/second.out")"
grep -q 'Halvex Dravane 1.0.1 is up to date.' "$work/second.out" || fail "second check: $(cat "$work/second.out")"
grep -q 'GET /check-update.php?id=01&ver=1.0.0 200$' "$work/service.log" || fail "first request"
grep -q 'GET /packages/HalvexDravane-1.0.1.zip 200$' "$work/service.log" || fail "download"
grep -q 'GET /check-update.php?id=01&ver=1.0.1 200$' "$work/service.log" || fail "second request"
if find "$TMPDIR" "$XDG_RUNTIME_DIR" -name 'halvex-download-*' | grep -q .; then fail "the package was left behind"; fi
echo "1 passed, 0 failed"
