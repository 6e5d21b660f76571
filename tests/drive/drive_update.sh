#!/usr/bin/env bash
# An update of a drive laid out by make-drive.sh, as a user of the command
# line would run it: `sh HalvexDravane.sh --cli check-update --install`
# against a loopback update service. The updater must run from the private
# temporary folder with the drive's own libraries beside it, place the new
# files on the drive, and start the suite again through the launcher, which
# then makes a fresh cached copy of the changed programs.
set -euo pipefail
src=$1 build=$2
for tool in xvfb-run xwininfo python3 ldd openssl; do
  command -v $tool >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done

work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  pkill -TERM -f "$work/cache/" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
drive=$work/STICK
# The publisher's key, made for this test; the drive trusts it.
"$src/scripts/make-update-key.sh" "$work/update.key" >/dev/null
HALVEX_BUILD_DIR=$build "$src/scripts/make-drive.sh" --update-key "$work/update.key.pub" "$drive" >/dev/null
chmod -R a-x "$drive"
chmod -R a+X "$drive"

export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/run HALVEX_ASSUME_USB=1 LANG=en_US.UTF-8 TMPDIR=$work/tmp
mkdir -m 700 "$XDG_RUNTIME_DIR" "$TMPDIR"
mkdir -p "$drive/Halvex Data"
cat > "$drive/Halvex Data/com.halvex.dravane.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8" ?>
<plist version="1.0"><dict><key>ShowMain</key><true /><key>eula</key><true /></dict></plist>
PLIST

# The package: a new file among the programs and a new resource.
mkdir -p "$work/server/p"
python3 - "$work/server/p/Dravane-9.0.0.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("HalvexDravane.app/Contents/Linux/UPDATED", "9.0.0\n")
    z.writestr("HalvexDravane.app/Contents/Resources/update-note.txt", "new resource\n")
PY
digest=$(sha256sum "$work/server/p/Dravane-9.0.0.zip" | cut -d' ' -f1)
printf 'halvex-update 01 9.0.0 %s' "$digest" > "$work/signed-text"
signature=$(openssl pkeyutl -sign -rawin -inkey "$work/update.key" -in "$work/signed-text" | base64 -w0)
echo "<response><update version=\"9.0.0\" url=\"p/Dravane-9.0.0.zip\" signature=\"$signature\"/></response>" \
  > "$work/server/check-update.php"
python3 "$src/tests/data/update/update_server.py" --root "$work/server" --port-file "$work/port" &
server_pid=$!
for _ in $(seq 1 50); do [ -s "$work/port" ] && break; sleep 0.1; done
export HALVEX_UPDATE_URL="http://127.0.0.1:$(cat "$work/port")/"

cat > "$work/session.sh" <<'SESSION'
set -u
drive=$1 work=$2
sh "$drive/HalvexDravane.sh" --cli check-update --install > "$work/cli.log" 2>&1 || {
  echo "FAIL: check-update --install"; cat "$work/cli.log"; exit 1; }
first=$(ls "$XDG_CACHE_HOME/halvex-dravane")
for _ in $(seq 1 600); do
  [ -f "$drive/HalvexDravane.app/Contents/Linux/UPDATED" ] && break
  sleep 0.2
done
[ -f "$drive/HalvexDravane.app/Contents/Linux/UPDATED" ] || { echo "FAIL: the update was not placed"; exit 1; }
echo "update placed"
# The updater's copy and what it found its libraries with.
updater=$(find "$work/run" "$work/tmp" -path '*/updater/Updater' -type f 2>/dev/null | head -n 1)
[ -n "$updater" ] || { echo "FAIL: no updater copy in the temporary folder"; exit 1; }
if [ -d "$drive/HalvexDravane.app/Contents/Linux/lib" ]; then
  core=$(ldd "$updater" | awk '/libQt6Core/ {print $3}')
  case "$core" in
    "$(dirname "$updater")/lib/"*) echo "updater's copy uses the drive's Qt" ;;
    *) echo "FAIL: the updater's copy took Qt from $core"; exit 1 ;;
  esac
fi
# The suite comes back through the launcher, from a fresh cached copy; it
# waits for the updater to end, and a loaded machine makes that slow.
for _ in $(seq 1 600); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Halvex Dravane"' && break
  sleep 0.2
done
xwininfo -root -tree | grep -q '"Halvex Dravane"' || { echo "FAIL: the suite was not started again"; exit 1; }
echo "suite started again"
after=$(ls "$XDG_CACHE_HOME/halvex-dravane")
[ "$after" != "$first" ] && [ "$(echo "$after" | wc -l)" -eq 1 ] || { echo "FAIL: no fresh cached copy ($first / $after)"; exit 1; }
[ -f "$XDG_CACHE_HOME/halvex-dravane/$after/UPDATED" ] || { echo "FAIL: the cached copy lacks the update"; exit 1; }
pkill -TERM -f "$XDG_CACHE_HOME/halvex-dravane/$after/HalvexDravane" || true
SESSION
xvfb-run -a bash "$work/session.sh" "$drive" "$work"

[ "$(cat "$drive/HalvexDravane.app/Contents/Resources/update-note.txt")" = "new resource" ] || { echo "FAIL: resource"; exit 1; }
if find "$work/run" "$work/tmp" -name 'halvex-download-*' | grep -q .; then echo "FAIL: the package was left behind"; exit 1; fi
echo "1 passed, 0 failed"
