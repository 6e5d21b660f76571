#!/usr/bin/env bash
# Lays the suite onto a flash drive (or any folder) so that it runs from there
# on a Linux desktop that has neither this build's Qt nor its libraries:
#
#   scripts/make-drive.sh [--update-key FILE.pub] TARGET            the drive's top folder
#   scripts/make-drive.sh [--update-key FILE.pub] --image FILE SIZE a FAT32 disk image (SIZE in MiB)
#
# --update-key lists the public key that make-update-key.sh wrote in the
# drive's Configuration.plist ("UpdatePublicKeys"), in place of any listed
# before; a drive takes only updates signed by a key listed there, so a
# drive made without one takes none.
#
# The programs and the shared libraries a desktop cannot be expected to have
# go to HalvexDravane.app/Contents/Linux (libraries in lib/, Qt's platform
# plugins in plugins/), all found through $ORIGIN-relative search paths. The
# user's "Halvex Data" and sync folder on the drive are never touched.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${HALVEX_BUILD_DIR:-$top/build}
source_bundle=$build/drive/HalvexDravane.app
programs=(HalvexDravane dravane PelloryAutoRun Updater forkcopy)
# Qt's plugins the programs load, one a line: xcb for X; Wayland with the
# xdg-shell integration every desktop compositor speaks and the decorations
# drawn where the compositor draws none (widgets draw into shared memory, so
# Wayland's EGL platform is not needed); offscreen where there is no display
# (the command line's unattended update).
qt_plugins=(
  platforms/libqxcb.so
  platforms/libqwayland-generic.so
  wayland-shell-integration/libxdg-shell.so
  wayland-decoration-client/libbradient.so
  platforms/libqoffscreen.so
)
# The programs' debug information stays in the build, filed by build-id where
# gdb looks for it (set debug-file-directory to $build/debug), so that a crash
# on a drive can still be read: the drive carries stripped programs.
debug_store=$build/debug/.build-id

usage() { echo "usage: make-drive.sh [--update-key FILE.pub] TARGET | [--update-key FILE.pub] --image FILE SIZE_MIB" >&2; exit 2; }

update_key=
if [ "${1:-}" = "--update-key" ]; then
  [ $# -ge 2 ] || usage
  [ -f "$2" ] || { echo "make-drive.sh: $2 is not a file" >&2; exit 2; }
  update_key=$(head -c 200 "$2" | head -n 1 | tr -d '\r\n')
  [[ "$update_key" =~ ^[A-Za-z0-9+/]{43}=$ ]] && [ "$(printf '%s' "$update_key" | base64 -d 2>/dev/null | wc -c)" -eq 32 ] ||
    { echo "make-drive.sh: $2 holds no public key of make-update-key.sh" >&2; exit 2; }
  shift 2
fi

# Lists the update key in the bundle's Configuration.plist, keeping what else
# the file sets.
write_update_key() {
  local resources=$1/HalvexDravane.app/Contents/Resources
  [ -n "$update_key" ] || return 0
  python3 - "$resources/Configuration.plist" "$update_key" <<'PY'
import os, plistlib, sys
path, key = sys.argv[1], sys.argv[2]
settings = {}
if os.path.exists(path):
    with open(path, "rb") as f:
        settings = plistlib.load(f)
settings["UpdatePublicKeys"] = [key]
with open(path + ".partial", "wb") as f:
    plistlib.dump(settings, f)
os.replace(path + ".partial", path)
PY
}

# Libraries every desktop has, or that must come from the desktop itself:
# glibc, the X and Wayland clients, the graphics stack, fonts.
is_system_library() {
  case "$(basename "$1")" in
    libc.so*|libm.so*|libpthread.so*|libdl.so*|librt.so*|ld-linux*|libresolv.so*|libutil.so*) return 0 ;;
    libX*|libxcb*|libxkbcommon*|libwayland*|libGL*|libEGL*|libOpenGL*|libgbm*|libdrm*|libvulkan*) return 0 ;;
    libfontconfig*|libfreetype*|libexpat*|libdbus-1*|libsystemd*|libudev*|libgcc_s*) return 0 ;;
    *) return 1 ;;
  esac
}

# Keeps the debug information of a built program beside the build, under its
# build-id, and strips the copy on the drive.
strip_program() {
  local built=$1 copy=$2 id
  id=$(readelf -n "$built" 2>/dev/null | awk '/Build ID:/ {print $3; exit}')
  if [ -n "$id" ]; then
    mkdir -p "$debug_store/${id:0:2}"
    objcopy --only-keep-debug "$built" "$debug_store/${id:0:2}/${id:2}.debug"
  fi
  strip --strip-unneeded "$copy"
}

# A library keeps its symbols (others link against them) but not debug sections.
strip_library() {
  if readelf -S "$1" 2>/dev/null | grep -q ' \.debug_'; then
    strip --strip-debug "$1"
  fi
}

copy_dependencies() {
  local binary=$1 dest=$2 lib
  while read -r lib; do
    [ -n "$lib" ] && [ -f "$lib" ] || continue
    is_system_library "$lib" && continue
    local name
    name=$(basename "$lib")
    if [ ! -f "$dest/$name" ]; then
      cp -L "$lib" "$dest/$name"
      chmod 0755 "$dest/$name"
      strip_library "$dest/$name"
      patchelf --set-rpath '$ORIGIN' "$dest/$name" 2>/dev/null || true
    fi
  done < <(ldd "$binary" 2>/dev/null | awk '/=> \//{print $3}')
}

lay_out() {
  local target=$1
  [ -d "$source_bundle" ] || { echo "make-drive.sh: build the project first (scripts/setup.sh)" >&2; exit 2; }
  mkdir -p "$target"
  local bundle=$target/HalvexDravane.app
  local linux=$bundle/Contents/Linux
  # The programs are replaced whole; Resources too. The data folder and the
  # sync folder beside the bundle are left exactly as they are.
  rm -rf "$linux" "$bundle/Contents/Resources"
  mkdir -p "$linux/lib" "$linux/plugins/platforms" "$bundle/Contents/Resources"
  cp -R "$source_bundle/Contents/Resources/." "$bundle/Contents/Resources/"

  local p
  for p in "${programs[@]}"; do
    [ -f "$source_bundle/Contents/Linux/$p" ] || continue
    cp "$source_bundle/Contents/Linux/$p" "$linux/$p"
    chmod 0755 "$linux/$p"
    strip_program "$source_bundle/Contents/Linux/$p" "$linux/$p"
    patchelf --set-rpath '$ORIGIN/lib' "$linux/$p"
    copy_dependencies "$linux/$p" "$linux/lib"
  done

  local qtplugins
  qtplugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
  local plugin
  for plugin in "${qt_plugins[@]}"; do
    [ -f "$qtplugins/$plugin" ] || continue
    mkdir -p "$linux/plugins/$(dirname "$plugin")"
    cp "$qtplugins/$plugin" "$linux/plugins/$plugin"
    strip_library "$linux/plugins/$plugin"
    patchelf --set-rpath '$ORIGIN/../../lib' "$linux/plugins/$plugin"
    copy_dependencies "$qtplugins/$plugin" "$linux/lib"
  done
  printf '[Paths]\nPlugins = plugins\n' > "$linux/qt.conf"
  grep -m1 'CMAKE_PROJECT_VERSION:' "$build/CMakeCache.txt" | cut -d= -f2 > "$linux/VERSION"

  cp "$top/scripts/drive/HalvexDravane.sh" "$target/HalvexDravane.sh"
  cp "$top/scripts/drive/autorun.sh" "$target/autorun.sh"
}

if [ "${1:-}" = "--image" ]; then
  [ $# -eq 3 ] || usage
  image=$2 size=$3
  [[ "$size" =~ ^[0-9]+$ ]] && [ "$size" -ge 64 ] || { echo "make-drive.sh: SIZE is MiB, at least 64" >&2; exit 2; }
  staging=$(mktemp -d)
  trap 'rm -rf "$staging"' EXIT
  lay_out "$staging"
  write_update_key "$staging"
  rm -f "$image"
  mkfs.vfat -F 32 -n HALVEX -C "$image" $((size * 1024)) >/dev/null
  # mtools writes into the image without mounting it, so no root is needed;
  # every entry gets a long name, so that a reader that ignores the short
  # names' case flags (fusefat) still sees dravane, not DRAVANE.
  python3 "$top/scripts/fat-image-copy.py" "$image" "$staging"
  echo "$image"
  exit 0
fi

[ $# -eq 1 ] || usage
lay_out "$1"
write_update_key "$1"
echo "$1"
