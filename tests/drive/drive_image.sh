#!/usr/bin/env bash
# A FAT32 image made without mounting holds the suite under its real names:
# read back as a reader that ignores the short names' case flags reads it
# (fusefat sees `dravane` as DRAVANE when only those flags keep it lower
# case), and through fusefat itself where FUSE may be used.
set -euo pipefail
src=$1 build=$2
command -v mkfs.vfat >/dev/null && command -v mdir >/dev/null || { echo "SKIP: dosfstools or mtools missing"; exit 77; }
work=$(mktemp -d)
cleanup() {
  mountpoint -q "$work/mount" 2>/dev/null && fusermount -u "$work/mount"
  rm -rf "$work"
}
trap cleanup EXIT
HALVEX_BUILD_DIR=$build "$src/scripts/make-drive.sh" --image "$work/drive.img" 256 >/dev/null
HALVEX_BUILD_DIR=$build "$src/scripts/make-drive.sh" "$work/tree" >/dev/null
(cd "$work/tree" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort) > "$work/expected"
python3 "$src/scripts/fat-image-copy.py" --list "$work/drive.img" | LC_ALL=C sort > "$work/listed"
diff "$work/expected" "$work/listed" >&2 || { echo "FAIL: the image's names are not the tree's"; exit 1; }
grep -qx 'HalvexDravane.app/Contents/Linux/dravane' "$work/listed" || { echo "FAIL: no dravane in the image"; exit 1; }
fsck.fat -n "$work/drive.img" >/dev/null || { echo "FAIL: fsck.fat finds the image damaged"; exit 1; }
export MTOOLS_SKIP_CHECK=1
mcopy -i "$work/drive.img" ::/HalvexDravane.sh "$work/launcher.sh"
cmp "$work/launcher.sh" "$src/scripts/drive/HalvexDravane.sh"
passed=1
if command -v fusefat >/dev/null && [ -w /dev/fuse ] && mkdir "$work/mount" &&
   fusefat -o ro "$work/drive.img" "$work/mount" 2>/dev/null; then
  # fusefat shows the volume label as an empty file at the top.
  (cd "$work/mount" && find . -mindepth 1 | sed 's|^\./||' | grep -vx HALVEX | LC_ALL=C sort) > "$work/mounted"
  diff "$work/expected" "$work/mounted" >&2 || { echo "FAIL: fusefat reads other names"; exit 1; }
  cmp "$work/mount/HalvexDravane.app/Contents/Linux/dravane" "$work/tree/HalvexDravane.app/Contents/Linux/dravane"
  passed=2
else
  echo "fusefat not usable here: the names were read back without it"
fi
echo "$passed passed, 0 failed"
