#!/usr/bin/env bash
# Line and branch coverage of Common/ and Linux/ by the test suite: builds
# build-coverage/ with gcov's instrumentation, runs the tests there (arguments
# go to ctest, so `scripts/coverage.sh -R Sync` measures a subset), prints one
# summary per folder and writes the report to build-coverage/coverage/index.html.
#   -j N         build with N jobs (default: HALVEX_JOBS, else the number of cores)
#   --no-build   use build-coverage/ as it is
#   --keep       add to the counts of earlier runs instead of starting afresh,
#                so a long suite can be measured in parts (ctest's -I, -R, -L)
#   --no-tests   run nothing: report the counts the earlier runs left
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
command -v gcovr >/dev/null || { echo "coverage.sh: gcovr is missing: run scripts/setup.sh" >&2; exit 2; }

dir=build-coverage
jobs=${HALVEX_JOBS:-$(nproc)}
build=yes keep=no tests=yes
while [ $# -gt 0 ]; do
  case "$1" in
    -j) jobs=$2; shift 2 ;;
    -j*) jobs=${1#-j}; shift ;;
    --no-build) build=no; shift ;;
    --keep) keep=yes; shift ;;
    --no-tests) tests=no; shift ;;
    *) break ;;
  esac
done

if [ "$build" = yes ]; then
  generator=() launcher=()
  command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
  command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  [ -f "$dir/CMakeCache.txt" ] \
    || cmake -S . -B "$dir" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug -DHALVEX_COVERAGE=ON
  cmake --build "$dir" --parallel "$jobs"
fi
status=0
if [ "$tests" = yes ]; then
  # Counts from an earlier run would add to this one's.
  [ "$keep" = yes ] || find "$dir" -name '*.gcda' -delete
  ctest --test-dir "$dir" --timeout 600 "$@" >"$dir/coverage-tests.log" 2>&1 || status=$?
  tail -n 3 "$dir/coverage-tests.log"
fi

# Exception and unreachable branches are the compiler's, not choices the code makes.
gcovr_args=(--root "$top" --object-directory "$dir" --exclude-throw-branches --exclude-unreachable-branches
            --gcov-ignore-parse-errors -j "$jobs")
# The image generator runs in the build, not in the tests.
gcovr "${gcovr_args[@]}" --filter 'Common/' --filter 'Linux/' --exclude 'Linux/imagegen/' --json "$dir/coverage.json" >/dev/null
mkdir -p "$dir/coverage"
for folder in Common Linux; do
  echo "== $folder/"
  gcovr --add-tracefile "$dir/coverage.json" --root "$top" --filter "$folder/" --print-summary -o /dev/null
done
gcovr --add-tracefile "$dir/coverage.json" --root "$top" --html-details "$dir/coverage/index.html" >/dev/null
echo "report: $dir/coverage/index.html"
exit "$status"
