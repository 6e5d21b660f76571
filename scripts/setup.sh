#!/usr/bin/env bash
# Prepares a Debian 12 machine for the project and builds it into build/.
# Safe to run again: packages already present are not reinstalled and the
# build is incremental.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools
  libtinyxml-dev libminizip-dev zlib1g-dev libcurl4-openssl-dev libssl-dev
  libgtest-dev libgmock-dev
  xvfb xauth x11-utils python3 unzip zip rsync attr acl
  dosfstools mtools patchelf
  clang libclang-rt-14-dev
  exfat-fuse exfatprogs fusefat fuse3
  libdeflate-dev nginx wrk openssl
  dbus libglib2.0-bin python3-dbus python3-gi clang-format ccache
  qt6-wayland weston at-spi2-core python3-pyatspi imagemagick xdotool
  clang-tidy gcovr
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo_cmd=(sudo); else
    echo "setup.sh: run as root or install sudo" >&2; exit 2
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  # Refresh the package lists when they are missing or older than a day.
  lists=/var/lib/apt/lists
  if [ -z "$(find "$lists" -maxdepth 1 -name '*_Packages*' -mtime -1 2>/dev/null | head -1)" ]; then
    "${sudo_cmd[@]}" apt-get update
  fi
  if ! "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
    "${sudo_cmd[@]}" apt-get update
    "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
  fi
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
# CI (CI=true) treats the project's warnings as errors.
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVEX_WERROR=$werror "${launcher[@]}"
cmake --build build --parallel "$(nproc)"
