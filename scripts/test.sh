#!/bin/sh
# Installs what is needed, then builds twice (a plain build and one with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs the whole test
# suite on both. Any failure fails the script.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# The sources stay formatted with the repository's .clang-format.
find app discovery enip tests ui resources \( -name '*.cpp' -o -name '*.h' \) \
    -exec clang-format-14 --dry-run --Werror {} +

jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DNODESPOTTER_SANITIZE=ON
cmake --build build-sanitize -j"$jobs"
ctest --test-dir build-sanitize --output-on-failure

# The codec fuzz target, built with clang, for a bounded time.
scripts/fuzz.sh 60

echo "All tests passed."
