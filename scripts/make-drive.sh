#!/usr/bin/env bash
# Lays the suite onto a flash drive (or any folder) so that it runs from there
# on a Linux desktop that has neither this build's Qt nor its libraries:
#
#   scripts/make-drive.sh TARGET            the drive's top folder
#   scripts/make-drive.sh --image FILE SIZE a FAT32 disk image (SIZE in MiB)
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

usage() { echo "usage: make-drive.sh TARGET | --image FILE SIZE_MIB" >&2; exit 2; }

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
    patchelf --set-rpath '$ORIGIN/lib' "$linux/$p"
    copy_dependencies "$linux/$p" "$linux/lib"
  done

  local qtplugins
  qtplugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
  # X, Wayland (with the xdg-shell integration every desktop compositor
  # speaks and the decorations drawn where the compositor draws none), and
  # the offscreen platform the tests use. Widgets draw into shared memory, so
  # Wayland's EGL platform is not needed.
  local plugins=(
    platforms/libqxcb.so
    platforms/libqwayland-generic.so
    wayland-shell-integration/libxdg-shell.so
    wayland-decoration-client/libbradient.so
    platforms/libqoffscreen.so
  )
  local plugin
  for plugin in "${plugins[@]}"; do
    [ -f "$qtplugins/$plugin" ] || continue
    mkdir -p "$linux/plugins/$(dirname "$plugin")"
    cp "$qtplugins/$plugin" "$linux/plugins/$plugin"
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
  rm -f "$image"
  mkfs.vfat -F 32 -n HALVEX -C "$image" $((size * 1024)) >/dev/null
  # mtools writes into the image without mounting it, so no root is needed.
  MTOOLS_SKIP_CHECK=1 mcopy -s -p -i "$image" "$staging"/* ::/
  echo "$image"
  exit 0
fi

[ $# -eq 1 ] || usage
lay_out "$1"
echo "$1"
