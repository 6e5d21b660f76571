#!/usr/bin/env bash
# Runs every fuzz target for SECONDS (default 60) each, one after another,
# and prints per target the runs, the coverage and any crash.
#   scripts/fuzz.sh 600            all targets, ten minutes each
#   scripts/fuzz.sh 60 plist_fuzz  one target
# Builds in build-fuzz/ with clang (-fsanitize=fuzzer,address,undefined).
# The corpus grows in build-fuzz/corpus/<target> from tests/fuzz/corpus;
# a crash input is left in build-fuzz/crashes/<target>/: keep it in
# tests/fuzz/regressions/<target>/ once fixed, where the suite replays it.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
dir="$top/build-fuzz"

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$top" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHALVEX_FUZZ=ON -DHALVEX_BUILD_GUI=OFF >/dev/null || exit 1
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=($(sed -n '/^set(HALVEX_FUZZ_TARGETS/,/)/p' "$top/tests/fuzz/CMakeLists.txt" |
             tr ' ()' '\n\n\n' | grep '_fuzz$'))
fi
cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]}" >"$dir/build.log" 2>&1 || {
  cat "$dir/build.log"; exit 1; }

printf '%-20s %12s %8s %8s %10s  %s\n' target runs cov ft corpus crash
status=0
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  crashes="$dir/crashes/$target"
  mkdir -p "$corpus" "$crashes"
  log="$dir/$target.log"
  touch "$dir/$target.start"   # a crash input newer than this is this run's
  dict=()
  [ -f "$top/tests/fuzz/$target.dict" ] && dict=(-dict="$top/tests/fuzz/$target.dict")
  seeds=("$top/tests/fuzz/corpus/$target")
  [ -d "$top/tests/fuzz/regressions/$target" ] && seeds+=("$top/tests/fuzz/regressions/$target")
  (cd "$dir" && "./tests/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
     -max_len=65536 -print_final_stats=1 -artifact_prefix="$crashes/" "${dict[@]}" \
     "$corpus" "${seeds[@]}") >"$log" 2>&1
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  files=$(find "$corpus" -type f | wc -l)
  crash=$(find "$crashes" -type f -newer "$dir/$target.start" | head -n 1)
  printf '%-20s %12s %8s %8s %10s  %s\n' "$target" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$files" "${crash:-none}"
  [ -n "$crash" ] && status=1
done
exit $status
