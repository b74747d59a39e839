#!/bin/sh
# Runs the codec fuzz target once over the seed corpus (tests/fuzz/corpus),
# built with clang's source-based coverage, and prints the line and branch
# coverage of the codec (enip/), then every branch the seeds never take in
# one of its directions. Installs clang and llvm-14 first.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh run clang

dir=build-fuzz-coverage
flags="-fprofile-instr-generate -fcoverage-mapping"

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNODESPOTTER_FUZZ=ON -DNODESPOTTER_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$dir" --target fuzz_enip -j"$(nproc)" >/dev/null

rm -f "$dir"/*.profraw
LLVM_PROFILE_FILE="$dir/seeds.profraw" ASAN_OPTIONS=detect_leaks=1 \
    "$dir/tests/fuzz/fuzz_enip" -runs=0 tests/fuzz/corpus 2>/dev/null
llvm-profdata-14 merge -sparse -o "$dir/seeds.profdata" "$dir/seeds.profraw"

sources=$(ls enip/*.cpp)
llvm-cov-14 report -show-branch-summary "$dir/tests/fuzz/fuzz_enip" \
    -instr-profile="$dir/seeds.profdata" $sources
# A branch shows as [True: t, False: f]. Both 0: its function never runs
# in a decode (writers, copies); one of them 0: a direction never taken.
llvm-cov-14 show -show-branches=count "$dir/tests/fuzz/fuzz_enip" \
    -instr-profile="$dir/seeds.profdata" $sources \
    | awk '/^\/.*\.cpp:$/ { file = $1; sub(/^.*\/enip\//, "enip/", file); sub(/:$/, "", file) }
           /\|  Branch / && /(True|False): 0[],]/ {
               at = $3; gsub(/[()]/, "", at)
               line = "  " file ":" at " " $4 " " $5 " " $6 " " $7 "\n"
               if (/True: 0, False: 0]/) idle = idle line
               else missed = missed line
           }
           END {
               printf "Branches taken in one direction only:\n%s", missed ? missed : "  none\n"
               printf "Branches in functions that no decode runs:\n%s", idle ? idle : "  none\n"
           }'
