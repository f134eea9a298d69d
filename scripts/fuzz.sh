#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in build-fuzz/ and runs each for the given number of seconds (default 60), starting from its
# seed corpus in fuzz/corpus/<target>/. New inputs are kept in build-fuzz/, never in fuzz/.
# A crash, leak, sanitizer report or broken invariant ends the script with the target's exit
# status; the input that caused it is left in build-fuzz/fuzz/artifacts/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

SECONDS_EACH="${1:-60}"
FUZZ_BUILD="$ROOT/build-fuzz"

# clang's sanitizer and libFuzzer runtimes.
PACKAGES+=(clang libclang-rt-14-dev)
install_packages

cmake -S "$ROOT" -B "$FUZZ_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTEV_FUZZ=ON $(compiler_launcher)
cmake --build "$FUZZ_BUILD" -j "$(nproc)" --target tev_fuzzers

targets=$(sed -n 's/^tev_fuzz(\([A-Za-z0-9_]*\).*/\1/p' "$ROOT/fuzz/CMakeLists.txt")
mkdir -p "$FUZZ_BUILD/fuzz/artifacts"
for target in $targets; do
  echo "== $target: ${SECONDS_EACH} s"
  work="$FUZZ_BUILD/fuzz/corpus/$target"
  seeds="$ROOT/fuzz/corpus/$target"
  mkdir -p "$work" "$seeds"
  log="$FUZZ_BUILD/fuzz/$target.log"
  if ! "$FUZZ_BUILD/fuzz/$target" "$work" "$seeds" \
      -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$FUZZ_BUILD/fuzz/artifacts/$target-" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "$target failed; the input is in $FUZZ_BUILD/fuzz/artifacts/"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || tail -n 5 "$log"
done
echo "All fuzz targets ran ${SECONDS_EACH} s each without a finding."
