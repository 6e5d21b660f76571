#!/usr/bin/env bash
# The suite from a made drive on a Wayland compositor with no X server at
# all (weston's headless backend, no XWayland): started through its launcher,
# its main window must be mapped as a Wayland toplevel with a buffer, the
# sync window open and close, and the suite quit on SIGTERM. The windows are
# driven through the accessibility tree, which needs no X.
set -euo pipefail
src=$1 build=$2
command -v weston >/dev/null || { echo "SKIP: weston missing"; exit 77; }
for tool in dbus-run-session timeout; do
  command -v $tool >/dev/null || { echo "FAIL: $tool missing (scripts/setup.sh installs it)"; exit 1; }
done
python=
for candidate in python3 /usr/bin/python3; do
  if command -v $candidate >/dev/null && $candidate -c 'import pyatspi' 2>/dev/null; then python=$candidate; break; fi
done
[ -n "$python" ] || { echo "FAIL: python3-pyatspi missing (scripts/setup.sh installs it)"; exit 1; }

work=$(mktemp -d)
weston_pid=
cleanup() {
  [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null && wait "$weston_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

drive=$work/STICK
HALVEX_BUILD_DIR=$build "$src/scripts/make-drive.sh" "$drive" >/dev/null
for plugin in platforms/libqwayland-generic.so wayland-shell-integration/libxdg-shell.so; do
  [ -f "$drive/HalvexDravane.app/Contents/Linux/plugins/$plugin" ] || { echo "FAIL: the drive lacks $plugin"; exit 1; }
done

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
export HALVEX_ASSUME_USB=1 LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS HALVEX_UPDATE_URL
mkdir -p "$HOME" "$TMPDIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# The licence taken as accepted, and a computer folder to sync with files on
# both sides, so that an instant sync has work and then closes its window.
mkdir -p "$drive/Halvex Data" "$work/computer"
cat > "$drive/Halvex Data/com.halvex.dravane.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8" ?>
<plist version="1.0"><dict><key>ShowMain</key><true /><key>eula</key><true /></dict></plist>
PLIST
echo from-computer > "$work/computer/a.txt"
sh "$drive/HalvexDravane.sh" --cli sync --computer-folder "$work/computer" --list >/dev/null 2>&1

socket=halvex-test
weston --backend=headless-backend.so --socket=$socket --idle-time=0 --no-config > "$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 1 50); do [ -S "$XDG_RUNTIME_DIR/$socket" ] && break; sleep 0.2; done
[ -S "$XDG_RUNTIME_DIR/$socket" ] || { echo "FAIL: weston did not start"; cat "$work/weston.log"; exit 1; }

session() {
  local mode=$1 status=0
  WAYLAND_DISPLAY=$socket WAYLAND_DEBUG=client timeout -k 10 120 \
    dbus-run-session -- "$python" "$src/tests/drive/wayland_session.py" "$drive" "$work/suite-$mode.log" $mode \
    || status=$?
  if [ $status -ne 0 ]; then
    grep -v '^\[' "$work/suite-$mode.log" | tail -30
    exit 1
  fi
}
session no-tray
session tray

# Each time the main window was a Wayland toplevel given its title and a
# buffer, and nothing went to X.
for log in "$work"/suite-no-tray.log "$work"/suite-tray.log; do
  grep -q 'xdg_surface@[0-9]*\.get_toplevel' "$log" || { echo "FAIL: no xdg_toplevel in $log"; exit 1; }
  grep -q 'xdg_toplevel@[0-9]*\.set_title("Halvex Dravane")' "$log" || { echo "FAIL: no main window in $log"; exit 1; }
  grep -q 'wl_surface@[0-9]*\.attach(wl_buffer@' "$log" && grep -q 'wl_surface@[0-9]*\.commit()' "$log" \
    || { echo "FAIL: no buffer committed in $log"; exit 1; }
  if grep -q 'qt.qpa.xcb' "$log"; then echo "FAIL: the suite went to X ($log)"; exit 1; fi
done
[ -f "$drive/Sync Folder/a.txt" ] || [ -n "$(find "$drive" -name a.txt -not -path '*/HalvexDravane.app/*')" ] \
  || { echo "FAIL: the instant sync copied nothing"; exit 1; }
echo "1 passed, 0 failed"
