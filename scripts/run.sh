#!/bin/sh
# Installs what building and running need (Qt 5, CMake, make, g++), builds
# Node Spotter and starts it.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target NodeSpotter
exec ./build/app/NodeSpotter "$@"
