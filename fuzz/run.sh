#!/usr/bin/env bash
# Fuzzes every target in turn for SECONDS each: fuzz/run.sh SECONDS [JOBS]
# Builds the libFuzzer targets with clang in $PXM_FUZZ_BUILD (default build-fuzz), grows the
# corpora in $PXM_FUZZ_WORK (default /tmp/pxm-fuzz, outside git) from the committed seeds, and
# leaves crashes there as crash-* files: minimise them and keep them under fuzz/findings/<target>.
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS [JOBS]}
jobs=${2:-1}
source=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${PXM_FUZZ_BUILD:-$source/build-fuzz}")
work=$(realpath -m "${PXM_FUZZ_WORK:-/tmp/pxm-fuzz}")

CC=clang CXX=clang++ cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPXM_BUILD_FUZZ=ON -DPXM_BUILD_TESTS=OFF -DPXM_SANITIZE=fuzzer-no-link,address,undefined >/dev/null
cmake --build "$build" -j2 --target fuzz_bitmap fuzz_stream fuzz_text

# The targets run in the build dir (the module finds its sibling host module beside itself).
cd "$build"
for target in bitmap stream text; do
  corpus="$work/$target"
  mkdir -p "$corpus" "$work/artifacts-$target"
  dict=()
  [[ -f "$source/fuzz/$target.dict" ]] && dict=(-dict="$source/fuzz/$target.dict")
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "./_binLinux/fuzz_$target" "$corpus" "$source/fuzz/corpus/$target" "$source/fuzz/findings/$target" \
    "${dict[@]}" -max_total_time="$seconds" -jobs="$jobs" -workers="$jobs" -max_len=65536 -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts-$target/" 2>&1 |
    tee "$work/$target.log" | grep -E "^#[0-9]+ +(DONE|INITED)|stat::|ERROR|SUMMARY" || true
done
