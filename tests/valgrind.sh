#!/usr/bin/env bash
# Valgrind memcheck over the host-level tests of a built tree, which must show no error and no
# leak: tests/valgrind.sh BUILD_DIR [TEST...]
# Without names it runs every test program of the tree (the module's host-level and unit tests,
# the host module's and the platform's) except the allocation-failure test, whose own malloc
# memcheck cannot follow, and the fuzz replays over their seeds and findings.
set -euo pipefail
build=$(realpath "${1:?usage: tests/valgrind.sh BUILD_DIR [TEST...]}")
shift
source=$(cd "$(dirname "$0")/.." && pwd)
cd "$build"  # the module finds its sibling modules under ./_binLinux/

if [[ $# -gt 0 ]]; then
  tests=("$@")
else
  tests=()
  for program in tests/*Test tests/*_tests; do
    [[ -x "$program" && "$(basename "$program")" != AllocationFailureTest ]] && tests+=("$(basename "$program")")
  done
  tests+=(FuzzReplay_bitmap FuzzReplay_stream FuzzReplay_text)
fi

failed=()
for test in "${tests[@]}"; do
  args=()
  checks=()
  if [[ "$test" == FuzzReplay_* ]]; then
    args=("$source/fuzz/corpus/${test#FuzzReplay_}" "$source/fuzz/findings/${test#FuzzReplay_}")
    # Fuzz inputs make images whose pixel rows nothing has written (Create does not clear a new
    # image's rows) and then draw them; reading such bytes is within the contract. Bounds and
    # leaks are still checked.
    checks=(--undef-value-errors=no)
  fi
  start=$SECONDS
  if valgrind "${checks[@]}" --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect,possible \
      --errors-for-leak-kinds=definite,indirect,possible --suppressions="$source/tests/hardening/valgrind.supp" \
      "tests/$test" "${args[@]}" >"valgrind-$test.log" 2>&1; then
    echo "ok      $test ($((SECONDS - start)) s)"
  else
    echo "FAILED  $test ($((SECONDS - start)) s): see $build/valgrind-$test.log"
    failed+=("$test")
  fi
done
[[ ${#failed[@]} -eq 0 ]] || { echo "memcheck failed: ${failed[*]}"; exit 1; }
