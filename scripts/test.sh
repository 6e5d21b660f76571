#!/usr/bin/env bash
# Runs the whole test suite. With --sanitize, builds and runs it under
# AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

dir=build
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-sanitize
  generator=()
  command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
  [ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DHALVEX_SANITIZE=ON
  export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  shift
fi
# Every C++ file keeps the layout .clang-format describes.
if command -v clang-format >/dev/null 2>&1 && git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror \
    || { echo "test.sh: run clang-format -i on the files above" >&2; exit 1; }
fi
cmake --build "$dir" --parallel "$(nproc)"
cd "$dir"
# ctest lists the skipped tests with their reasons; the count says whether
# the machine could run them all (FAT volumes need root, FUSE and loop devices).
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
ctest --output-on-failure --timeout 300 "$@" | tee "$log" || status=$?
echo "$(grep -c '(Skipped)$' "$log" || true) test(s) skipped"
exit "$status"
