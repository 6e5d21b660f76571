#!/usr/bin/env bash
# The checks that read the code without running it: every C++ file keeps the
# layout .clang-format describes, and clang-tidy finds none of the faults that
# .clang-tidy lists. CI runs it beside scripts/test.sh.
#   scripts/lint.sh            both, on every tracked file
#   scripts/lint.sh FILE...    clang-tidy on those files only (after the layout check)
# clang-tidy reads the compile commands of build/ (scripts/setup.sh makes them)
# and runs HALVEX_JOBS files at once (default: one per core).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

status=0
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror \
  || { echo "lint.sh: run clang-format -i on the files above" >&2; status=1; }

build=${HALVEX_LINT_BUILD:-build}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "lint.sh: $build/compile_commands.json is missing: run scripts/setup.sh first" >&2
  exit 2
fi
# The generated sources (Qt's moc and resources) are not ours to lint.
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files 'Common/*.cpp' 'Linux/*.cpp' 'tests/*.cpp' 'bench/*.cpp')
fi
tidy=$(command -v run-clang-tidy || command -v run-clang-tidy-14)
"$tidy" -quiet -p "$build" -j "${HALVEX_JOBS:-$(nproc)}" "${files[@]/#/$top/}" >"$build/clang-tidy.log" 2>&1 || status=1
sed -i 's/\x1b\[[0-9;]*m//g' "$build/clang-tidy.log"
# run-clang-tidy prints each warning once per file that includes the header;
# show each once.
grep -E '(warning|error):' "$build/clang-tidy.log" | sort -u || true
if grep -qE '(warning|error):' "$build/clang-tidy.log"; then status=1; fi
[ "$status" -eq 0 ] && echo "lint.sh: clean"
exit "$status"
