#!/bin/sh
# Installs what is needed, builds Node Spotter and starts it.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target NodeSpotter
exec ./build/app/NodeSpotter "$@"
