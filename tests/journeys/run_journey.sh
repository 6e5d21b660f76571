#!/usr/bin/env bash
# Runs one journey (a Python driver in this folder) against the real
# HalvexDravane on a private X server (Xvfb), D-Bus session and
# accessibility bus, with HOME and the XDG folders in a temporary folder.
#   run_journey.sh SOURCE_DIR BUILD_DIR JOURNEY [SERVICE_PROGRAM]
set -euo pipefail
src=$1 build=$2 journey=$3 service=${4:-}

for tool in xvfb-run dbus-run-session xdotool import; do
  command -v $tool >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "SKIP: at-spi2-core missing"; exit 77; }
# pyatspi is Debian's: a python3 of its own (pyenv, a virtualenv) may lack it.
python=
for candidate in python3 /usr/bin/python3; do
  if command -v $candidate >/dev/null && $candidate -c 'import pyatspi' 2>/dev/null; then python=$candidate; break; fi
done
[ -n "$python" ] || { echo "SKIP: python3-pyatspi missing"; exit 77; }

work=$(mktemp -d)
# Ends every process that runs a program from this journey's folder, by id.
end_ours() {
  local p exe
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case "$exe" in "$work"/*) kill "${p#/proc/}" 2>/dev/null || true ;; esac
  done
}
cleanup() {
  end_ours
  rm -rf "$work"
}
trap cleanup EXIT

# Nothing of the machine's own session: settings, caches and the desktop
# folder are the journey's.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
export LANG=C.UTF-8 LC_ALL=C.UTF-8 no_proxy=127.0.0.1
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS WAYLAND_DISPLAY HALVEX_UPDATE_URL
mkdir -p "$HOME" "$TMPDIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"

args=(--source "$src" --build "$build" --work "$work")
[ -n "$service" ] && args+=(--service "$service")
# Bounded below ctest's own limit, so that the cleanup above still runs.
timeout -k 10 280 xvfb-run -a -s "-screen 0 1280x1024x24" \
  dbus-run-session -- "$python" "$src/tests/journeys/$journey.py" "${args[@]}"
