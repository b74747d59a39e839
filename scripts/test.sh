#!/bin/sh
# Installs what is needed, then builds three times (a plain Qt 5 build, one
# with AddressSanitizer and UndefinedBehaviorSanitizer, and a plain Qt 6
# build) and runs the whole test suite on each, fuzzes the codec, and builds
# the Debian packages for Qt 5 and Qt 6 and tests them on a fresh Debian
# root. Any failure fails the script; each stage's time is printed.
set -eu
cd "$(dirname "$0")/.."

started=$(date +%s)
stage() {
    now=$(date +%s)
    echo "test.sh: $1 took $((now - started)) s"
    started=$now
}

scripts/install-deps.sh
stage "installing dependencies"

# The sources stay formatted with the repository's .clang-format.
find app discovery enip tests ui resources \( -name '*.cpp' -o -name '*.h' \) \
    -exec clang-format-14 --dry-run --Werror {} +

jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNODESPOTTER_QT_MAJOR=5
cmake --build build -j"$jobs"
stage "Qt 5 build"
ctest --test-dir build --output-on-failure
stage "Qt 5 tests"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DNODESPOTTER_SANITIZE=ON -DNODESPOTTER_QT_MAJOR=5
cmake --build build-sanitize -j"$jobs"
stage "Qt 5 sanitizer build"
ctest --test-dir build-sanitize --output-on-failure
stage "Qt 5 sanitizer tests"

cmake -S . -B build-qt6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNODESPOTTER_QT_MAJOR=6
cmake --build build-qt6 -j"$jobs"
stage "Qt 6 build"
ctest --test-dir build-qt6 --output-on-failure
stage "Qt 6 tests"

# The codec fuzz target, built with clang, for a bounded time.
scripts/fuzz.sh 60
stage "fuzzing"

# The Debian packages, checked with lintian, desktop-file-validate and
# appstreamcli, then installed, started and removed on a fresh Debian root.
# The first takes the default Qt, which must be Qt 5 here.
scripts/package.sh
scripts/package.sh 6
stage "Debian packages"
scripts/test-package.sh build-package/nodespotter_*.deb build-package-qt6/nodespotter-qt6_*.deb
stage "package test"

echo "All tests passed."
