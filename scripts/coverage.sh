#!/usr/bin/env bash
# Line and branch coverage of Common/ and Linux/ by the test suite: builds
# build-coverage/ with gcov's instrumentation, runs the tests there (arguments
# go to ctest, so `scripts/coverage.sh -R Sync` measures a subset), prints one
# summary per folder and writes the report to build-coverage/coverage/index.html.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
command -v gcovr >/dev/null || { echo "coverage.sh: gcovr is missing: run scripts/setup.sh" >&2; exit 2; }

dir=build-coverage
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
[ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DHALVEX_COVERAGE=ON
cmake --build "$dir" --parallel "$(nproc)"
# Counts from an earlier run would add to this one's.
find "$dir" -name '*.gcda' -delete
status=0
ctest --test-dir "$dir" --timeout 600 "$@" >"$dir/coverage-tests.log" 2>&1 || status=$?
tail -n 3 "$dir/coverage-tests.log"

# Exception and unreachable branches are the compiler's, not choices the code makes.
gcovr_args=(--root "$top" --object-directory "$dir" --exclude-throw-branches --exclude-unreachable-branches
            --gcov-ignore-parse-errors)
gcovr "${gcovr_args[@]}" --filter 'Common/' --filter 'Linux/' --json "$dir/coverage.json" >/dev/null
mkdir -p "$dir/coverage"
for folder in Common Linux; do
  echo "== $folder/"
  gcovr --add-tracefile "$dir/coverage.json" --root "$top" --filter "$folder/" --print-summary -o /dev/null
done
gcovr --add-tracefile "$dir/coverage.json" --root "$top" --html-details "$dir/coverage/index.html" >/dev/null
echo "report: $dir/coverage/index.html"
exit "$status"
