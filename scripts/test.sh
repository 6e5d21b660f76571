#!/usr/bin/env bash
# Runs the test suite with ctest; arguments go to ctest (-R, -L, -E ...).
# A subset run builds only the programs its tests need: the tests that the
# arguments select (as the last build discovered them) name their test
# programs, and each program's target brings what it depends on. Tests that
# are scripts, or a selection that finds nothing yet, build everything.
#   --sanitize   build and run under AddressSanitizer and UBSan in build-sanitize/
#   --no-build   run what is built as it is
# The layout check and clang-tidy live in scripts/lint.sh.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

# Tests run as root may outlive a mistake that removes /dev/null; a later
# "> /dev/null" then makes it a plain file, and tests that hand it to another
# user fail far from the cause. Say so before running anything.
if [ ! -c /dev/null ]; then
  echo "test.sh: /dev/null is not a character device (restore it: rm /dev/null; mknod -m 666 /dev/null c 1 3)" >&2
  exit 2
fi

dir=build
build=yes
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitize)
      dir=build-sanitize
      generator=()
      command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
      [ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DHALVEX_SANITIZE=ON
      export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=0"
      export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
      shift ;;
    --no-build) build=no; shift ;;
    *) break ;;
  esac
done

# The build targets of the tests that ctest's arguments select: a test
# program built into the build folder is its own target; anything else (a
# shell script driving whole programs) needs the whole build, and so does a
# selection that the last build cannot tell yet.
selected_targets() {
  [ $# -gt 0 ] || return 1
  ctest --test-dir "$dir" -N --show-only=json-v1 "$@" 2>/dev/null | python3 -c '
import json, os, sys
build = os.path.realpath(sys.argv[1])
tests = json.load(sys.stdin).get("tests", [])
if not tests:
    sys.exit(1)
targets = set()
for test in tests:
    program = os.path.realpath((test.get("command") or [""])[0])
    if not program.startswith(build + os.sep) or program.endswith(".sh"):
        sys.exit(1)
    targets.add(os.path.basename(program))
print(" ".join(sorted(targets)))
' "$dir"
}

if [ "$build" = yes ]; then
  if [ -f "$dir/CTestTestfile.cmake" ] && targets=$(selected_targets "$@"); then
    # shellcheck disable=SC2086 # one word per target
    cmake --build "$dir" --parallel "$(nproc)" $(printf -- '--target %s ' $targets)
  else
    cmake --build "$dir" --parallel "$(nproc)"
  fi
fi
cd "$dir"
# ctest lists the skipped tests with their reasons; the count says whether
# the machine could run them all (FAT volumes need root, FUSE and loop devices).
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
ctest --output-on-failure --timeout 300 "$@" | tee "$log" || status=$?
echo "$(grep -c '(Skipped)$' "$log" || true) test(s) skipped"
exit "$status"
