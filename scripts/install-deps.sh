#!/bin/sh
# Installs the Debian 12 packages of the purposes named, or of every purpose
# when none is named, with apt-get (through sudo unless run as root). Does
# nothing when they are all installed already. Every package stands in one
# list only; a command that needs several purposes names them all.
#   scripts/install-deps.sh run           what building and running need
#   scripts/install-deps.sh --list        every purpose with its packages
set -eu

# One line per purpose: name, then its packages.
lists='
run         qtbase5-dev qtbase5-dev-tools libqt5svg5 cmake make g++
qt6         qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-qpa-plugins
rig         iproute2 util-linux python3 man-db
windows-rc  binutils-mingw-w64-i686
bench       libbenchmark-dev
clang       clang libclang-rt-14-dev llvm-14
format      clang-format-14
lint        clang-tidy-14
package     dpkg-dev fakeroot lintian debootstrap appstream desktop-file-utils
windows     g++-mingw-w64-i686-posix xz-utils nsis zip unzip wine wine32 fonts-dejavu-core
'

purposes() { printf '%s\n' "$lists" | awk 'NF { print $1 }'; }
packages_of() { printf '%s\n' "$lists" | awk -v p="$1" '$1 == p { $1 = ""; print }'; }

case ${1:-} in
--list)
    printf '%s\n' "$lists" | sed '/^$/d'
    exit 0
    ;;
-h | --help)
    sed -n '2,7s/^# \{0,1\}//p' "$0"
    echo "purposes: $(purposes | tr '\n' ' ')"
    exit 0
    ;;
esac
[ $# -gt 0 ] || set -- $(purposes)

wanted=
for purpose in "$@"; do
    found=$(packages_of "$purpose")
    [ -n "$found" ] || { echo "install-deps.sh: unknown purpose '$purpose' (try --list)" >&2; exit 2; }
    wanted="$wanted $found"
done

missing=
for package in $wanted; do
    dpkg-query --show --showformat '${Status}' "$package" 2>/dev/null | grep -q ' installed$' ||
        missing="$missing $package"
done
[ -n "$missing" ] || exit 0

SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
echo "install-deps.sh: installing$missing"
# 32-bit wine (windows) needs the i386 architecture, known before the
# package lists are read.
case " $missing " in
*" wine32 "*) dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386 ;;
esac
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
