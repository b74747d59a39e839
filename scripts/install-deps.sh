#!/bin/sh
# Installs the Debian 12 packages that building, running and testing need.
set -eu
SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
    qtbase5-dev qtbase5-dev-tools libqt5svg5 \
    cmake make g++ clang libclang-rt-14-dev libbenchmark-dev clang-format-14 llvm-14 \
    iproute2 util-linux python3 \
    xvfb xauth imagemagick x11-utils \
    binutils-mingw-w64-i686 >/dev/null
