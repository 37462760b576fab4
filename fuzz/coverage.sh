#!/usr/bin/env bash
# Line coverage of the module's sources (src/) reached by replaying corpora through the fuzz
# targets: fuzz/coverage.sh [CORPUS_ROOT...]
# Each CORPUS_ROOT holds bitmap/, stream/ and text/ folders (the committed seeds and findings are
# always replayed; add e.g. /tmp/pxm-fuzz for the corpora grown by run.sh). Builds with clang's
# source-based coverage in $PXM_COVERAGE_BUILD (default build-coverage).
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${PXM_COVERAGE_BUILD:-$source/build-coverage}")
roots=("$source/fuzz/corpus" "$source/fuzz/findings")
for root in "$@"; do roots+=("$(realpath "$root")"); done

flags="-fprofile-instr-generate -fcoverage-mapping"
CC=clang CXX=clang++ cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build" -j2 --target FuzzReplay_bitmap FuzzReplay_stream FuzzReplay_text

cd "$build"
rm -rf profiles && mkdir profiles
for target in bitmap stream text; do
  dirs=()
  for root in "${roots[@]}"; do [[ -d "$root/$target" ]] && dirs+=("$root/$target"); done
  LLVM_PROFILE_FILE="profiles/$target-%p-%m.profraw" "./tests/FuzzReplay_$target" "${dirs[@]}"
done
llvm-profdata merge -sparse profiles/*.profraw -o coverage.profdata
# The module's code lives in PXM.so; the text target links the string code directly.
llvm-cov report -instr-profile=coverage.profdata "_binLinux/PXM.so" -object "tests/FuzzReplay_text" \
  "$source/src" | tee coverage.txt
