#!/bin/sh
# Installs clang, builds the codec fuzz target with it and runs it for a
# bounded time (first argument in seconds, default 60) on a scratch copy of
# the seed corpus, so that runs never write into the repository. Fails on
# any crash, leak or sanitizer report.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh run clang

seconds=${1:-60}
dir=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNODESPOTTER_FUZZ=ON -DNODESPOTTER_BENCHMARKS=OFF
cmake --build "$dir" --target fuzz_enip -j"$(nproc)"

rm -rf "$dir/corpus" "$dir/artifacts"
mkdir -p "$dir/corpus" "$dir/artifacts"
cp tests/fuzz/corpus/* "$dir/corpus/"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$dir/tests/fuzz/fuzz_enip" -max_total_time="$seconds" -max_len=1472 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$dir/artifacts/" "$dir/corpus"
echo "Fuzzing ran for $seconds s without findings."
