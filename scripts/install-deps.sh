#!/bin/sh
# Installs the Debian 12 packages that building, running, testing and
# packaging need: Qt 5 and Qt 6 (with the SVG image plug-ins and, for Qt 6,
# the platform plug-ins), compilers and test tools, and the Debian
# packaging and checking tools.
set -eu
SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
    qtbase5-dev qtbase5-dev-tools libqt5svg5 \
    qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-qpa-plugins \
    cmake make g++ clang libclang-rt-14-dev libbenchmark-dev clang-format-14 llvm-14 \
    iproute2 util-linux python3 \
    xvfb xauth imagemagick x11-utils \
    binutils-mingw-w64-i686 \
    dpkg-dev fakeroot lintian debootstrap appstream desktop-file-utils >/dev/null
