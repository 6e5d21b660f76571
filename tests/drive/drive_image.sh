#!/usr/bin/env bash
# A FAT32 image made without mounting: mtools lists the suite in it, and the
# launcher read back from it is the file that was written.
set -euo pipefail
src=$1 build=$2
command -v mkfs.vfat >/dev/null && command -v mdir >/dev/null || { echo "SKIP: dosfstools or mtools missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
HALVEX_BUILD_DIR=$build "$src/scripts/make-drive.sh" --image "$work/drive.img" 256 >/dev/null
export MTOOLS_SKIP_CHECK=1
mdir -i "$work/drive.img" ::/HalvexDravane.app/Contents/Linux | grep -q HalvexDr || { echo "FAIL: no programs in the image"; exit 1; }
mcopy -i "$work/drive.img" ::/HalvexDravane.sh "$work/launcher.sh"
cmp "$work/launcher.sh" "$src/scripts/drive/HalvexDravane.sh"
echo "1 passed, 0 failed"
