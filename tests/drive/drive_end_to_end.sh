#!/usr/bin/env bash
# Lays the suite onto a folder, takes every run permission away (as a FAT
# drive mounted with showexec does), starts it through `sh HalvexDravane.sh`
# under a virtual X server, syncs a file both ways through the launcher's
# command line, and ends the suite with SIGTERM: it must quit cleanly.
set -euo pipefail
src=$1 build=$2
command -v xvfb-run >/dev/null && command -v xwininfo >/dev/null || { echo "SKIP: xvfb-run or xwininfo missing"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
drive=$work/STICK
HALVEX_BUILD_DIR=$build "$src/scripts/make-drive.sh" "$drive" >/dev/null
chmod -R a-x "$drive"
chmod -R a+X "$drive"   # folders stay searchable; files keep no run bit
if find "$drive" -type f -perm /111 | grep -q .; then echo "FAIL: a file kept its run permission"; exit 1; fi

export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/run HALVEX_ASSUME_USB=1 LANG=en_US.UTF-8
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The licence is taken as accepted so that the main window comes up at once.
mkdir -p "$drive/Halvex Data"
cat > "$drive/Halvex Data/com.halvex.dravane.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8" ?>
<plist version="1.0"><dict><key>ShowMain</key><true /><key>eula</key><true /></dict></plist>
PLIST

cat > "$work/session.sh" <<'SESSION'
set -u
drive=$1 work=$2
sh "$drive/HalvexDravane.sh" > "$work/suite.log" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Halvex Dravane"' && break
  sleep 0.2
done
if ! xwininfo -root -tree | grep -q '"Halvex Dravane"'; then
  echo "FAIL: the main window did not appear"; cat "$work/suite.log"; kill $pid 2>/dev/null; exit 1
fi
echo "main window shown"
kill -TERM $pid
wait $pid
status=$?
echo "suite ended with $status"
[ $status -eq 0 ] || { cat "$work/suite.log"; exit 1; }
SESSION
xvfb-run -a bash "$work/session.sh" "$drive" "$work"

ls "$XDG_CACHE_HOME/halvex-dravane" | grep -q . || { echo "FAIL: no cached copy"; exit 1; }
copies_before=$(ls "$XDG_CACHE_HOME/halvex-dravane")

# The command line through the same launcher: a sync both ways.
if sh "$drive/HalvexDravane.sh" --cli --help 2>&1 | grep -q ' sync'; then
  computer=$work/computer
  mkdir -p "$computer"
  echo from-computer > "$computer/a.txt"
  sh "$drive/HalvexDravane.sh" --cli --yes sync --computer-folder "$computer" >/dev/null
  synced=$(find "$drive" -name a.txt -not -path '*/HalvexDravane.app/*' | head -1)
  [ -n "$synced" ] || { echo "FAIL: a.txt did not reach the drive"; exit 1; }
  echo from-drive > "$(dirname "$synced")/b.txt"
  sh "$drive/HalvexDravane.sh" --cli sync >/dev/null
  [ "$(cat "$computer/b.txt")" = from-drive ] || { echo "FAIL: b.txt did not reach the computer"; exit 1; }
  echo "sync both ways through the launcher"
else
  echo "note: this build's dravane has no sync command yet"
fi

# Same programs: the cached copy is used again; a changed program: a new copy.
[ "$(ls "$XDG_CACHE_HOME/halvex-dravane")" = "$copies_before" ] || { echo "FAIL: a second copy was made"; exit 1; }
printf 'x' >> "$drive/HalvexDravane.app/Contents/Linux/qt.conf"
sh "$drive/HalvexDravane.sh" --cli version >/dev/null 2>&1 || true
after=$(ls "$XDG_CACHE_HOME/halvex-dravane")
[ "$after" != "$copies_before" ] && [ "$(echo "$after" | wc -l)" -eq 1 ] || { echo "FAIL: no fresh copy after a change"; exit 1; }
echo "1 passed, 0 failed"
