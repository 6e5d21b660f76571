#!/usr/bin/env bash
# Backup benchmarks, as ratios against well-known tools on the same tree:
#   1. 5 000 files, 200 MB of mixed compressible and incompressible data, into
#      an empty set, against `zip -q -r` of the tree into one archive (goal <= 0.8);
#   2. a run with nothing changed over 20 000 files, against `rsync -rtn` of
#      the tree against a copy (goal <= 1.5).
# Usage: bench/backup/run.sh [BUILD_DIR]   (the build must hold halvex_common)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
work=$(mktemp -d "${TMPDIR:-/tmp}/halvex-backup-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target halvex_common --parallel 2 >/dev/null
g++ -O2 -std=c++20 -I"$top/Common" -I"$build/generated" "$top/bench/backup/backup_bench.cpp" \
  "$build/Common/libhalvex_common.a" $(pkg-config --libs tinyxml minizip zlib libcurl) -lpthread \
  -o "$work/backup_bench"

# make_tree DIR FILES TOTAL_BYTES: half the files are text, half random bytes,
# in folders of 100.
make_tree() {
  python3 - "$1" "$2" "$3" <<'PY'
import os, random, sys
root, files, total = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(7)
size = total // files
words = b"backup restore archive generation folder drive profile category "
for i in range(files):
    folder = os.path.join(root, "d%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    if i % 2:
        data = rng.randbytes(size)
    else:
        data = (words * (size // len(words) + 1))[:size]
    with open(os.path.join(folder, "f%05d.%s" % (i, "txt" if i % 2 == 0 else "bin")), "wb") as f:
        f.write(data)
PY
}

elapsed() { local s=$(date +%s.%N); "$@" >/dev/null; awk -v a="$(date +%s.%N)" -v b="$s" 'BEGIN { printf "%.3f", a - b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

echo "== 5 000 files, 200 MB, empty set =="
make_tree "$work/src" 5000 $((200 * 1024 * 1024))
sync
mkdir -p "$work/drive"
zip_time=$(cd "$work" && elapsed zip -q -r "$work/all.zip" src)
read -r ours stored < <("$work/backup_bench" "$work/src" "$work/drive/Backup" Bench)
unzip -tqq "$(find "$work/drive/Backup/Bench/Current Backup" -name '*.zip' | head -1)" >/dev/null
echo "zip -q -r: ${zip_time}s  backup: ${ours}s (${stored} archives)"
echo "ratio (goal <= 0.8): $(ratio "$ours" "$zip_time")"
rm -rf "$work/src" "$work/drive" "$work/all.zip"

echo "== nothing changed, 20 000 files =="
make_tree "$work/src" 20000 $((20000 * 512))
mkdir -p "$work/drive"
"$work/backup_bench" "$work/src" "$work/drive/Backup" Bench >/dev/null
cp -a "$work/src" "$work/copy"
rsync_time=$(elapsed rsync -rtn "$work/src/" "$work/copy/")
read -r ours stored < <("$work/backup_bench" "$work/src" "$work/drive/Backup" Bench)
echo "rsync -rtn: ${rsync_time}s  unchanged backup: ${ours}s (${stored} archives)"
echo "ratio (goal <= 1.5): $(ratio "$ours" "$rsync_time")"
