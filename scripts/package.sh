#!/bin/sh
# Installs what it needs, builds the Debian package with CPack and checks
# it: lintian (no errors), desktop-file-validate and appstreamcli validate.
# No argument (or "5") builds with Qt 5, "6" with Qt 6. The build uses Debian's
# build flags, no tests, its own directory; the last line printed is the
# path of the package.
#   scripts/package.sh      ->  build-package/nodespotter_<version>-1_amd64.deb
#   scripts/package.sh 6    ->  build-package-qt6/nodespotter-qt6_<version>-1_amd64.deb
set -eu
cd "$(dirname "$0")/.."

major=${1:-}
dir=build-package${major:+-qt$major}

case $major in
'' | 5) scripts/install-deps.sh run package ;;
6) scripts/install-deps.sh run qt6 package ;;
*) echo "usage: package.sh [5|6]" >&2; exit 2 ;;
esac

CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=OFF -DNODESPOTTER_QT_MAJOR="$major" >/dev/null
cmake --build "$dir" -j"$(nproc)"
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB) >/dev/null
deb=$(ls "$dir"/*.deb)

# lintian fails only on errors; docs/packaging.md lists the warnings left.
lintian --fail-on error "$deb"

contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
desktop-file-validate "$contents"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml

dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
echo "$deb"
