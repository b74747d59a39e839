#!/bin/sh
# Builds Qt 5 (qtbase and qtsvg) for 32-bit Windows from Debian's own source
# packages, with the MinGW-w64 posix-thread compilers, and installs it into a
# cache directory outside the repository:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/nodespotter/qt-<version>-i686-w64-mingw32-<key>
# The key is a hash of the Qt version, the configure line, the compiler and
# the build steps, so a change to any of them builds a new Qt, and a second
# run with the same inputs finds the cache and builds nothing.
# The last line printed is the Qt prefix.
#
# The sources come from "apt-get source" with a sources list of the script's
# own (deb-src entries for the machine's Debian suites) and private index and
# cache directories, so the machine's apt set-up stays as it is. dpkg-source
# applies Debian's patches while unpacking.
#
# The first build takes long; docs/building.md gives the times measured.
set -eu

qt_version=5.15.8
target=i686-w64-mingw32
jobs=${JOBS:-$(nproc)}
# Bump when the steps below change in a way that changes what is installed.
steps_revision=1

# Only what the program and its tests need: Core, Gui, Widgets, Network and
# Test with the windows and offscreen platform plug-ins; the SVG and ICO
# image plug-ins come from qtsvg and qtbase.
# -no-feature-tabletevent: the +dfsg tarball has no src/3rdparty/wintab,
#   without which the windows platform plug-in does not build.
# -qt-freetype: the offscreen platform plug-in needs it on Windows.
configure_options="-xplatform win32-g++ -device-option CROSS_COMPILE=$target- \
-opensource -confirm-license -release -shared -strip \
-nomake examples -nomake tests -no-compile-examples \
-no-opengl -no-feature-tabletevent -qt-freetype \
-qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz \
-no-dbus -no-icu -no-openssl -no-pkg-config -no-fontconfig \
-no-sql-sqlite -no-sql-odbc -no-sql-mysql -no-sql-psql -no-feature-sql \
-no-feature-printer -no-feature-concurrent -no-feature-xml"

compiler=$(command -v $target-g++-posix || true)
if [ -z "$compiler" ]; then
    echo "build-qt-windows.sh: $target-g++-posix not found (package g++-mingw-w64-i686-posix)" >&2
    exit 1
fi
key=$(printf '%s\n' "$qt_version" "$configure_options" "$steps_revision" \
    "$($compiler --version | head -n 1)" | sha256sum | cut -c 1-12)

cache=${XDG_CACHE_HOME:-$HOME/.cache}/nodespotter
prefix=$cache/qt-$qt_version-$target-$key
if [ -f "$prefix/.complete" ]; then
    echo "build-qt-windows.sh: Qt for Windows found in the cache" >&2
    echo "$prefix"
    exit 0
fi

work=$cache/build-qt-$qt_version-$target-$key
log=$work/build.log
mkdir -p "$cache"
# One build at a time for a given key: a second run waits for the first.
exec 9>"$cache/.lock-$key"
flock 9
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
rm -rf "$work" "$prefix"
mkdir -p "$work"
echo "build-qt-windows.sh: building Qt $qt_version for $target in $work (log: $log)" >&2

step_started=$(date +%s)
step() {
    now=$(date +%s)
    echo "build-qt-windows.sh: $1 took $((now - step_started)) s" >&2
    step_started=$now
}
# Runs a command with its output in the log; on failure shows the log's end.
logged() {
    if ! "$@" >>"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "build-qt-windows.sh: failed: $*" >&2
        exit 1
    fi
}

# A private apt: the machine's deb822 sources turned into deb-src entries.
apt_dir=$work/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
found_sources=
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    if grep -q '^Types:.*\bdeb\b' "$f" && grep -q 'debian' "$f"; then
        sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$(basename "$f")"
        found_sources=yes
    fi
done
if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list >"$apt_dir/sources.list"
    [ -s "$apt_dir/sources.list" ] && found_sources=yes
fi
if [ -z "$found_sources" ]; then
    echo "build-qt-windows.sh: no Debian apt sources found to derive deb-src entries from" >&2
    exit 1
fi
touch "$apt_dir/sources.list"
set -- -o Dir::Etc::SourceList="$apt_dir/sources.list" \
    -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
    -o Dir::State::Lists="$apt_dir/lists" \
    -o Dir::Cache="$apt_dir/cache" \
    -o Debug::NoLocking=1 \
    -o APT::Sandbox::User=root
logged apt-get "$@" update
mkdir -p "$work/src"
(cd "$work/src" && logged apt-get "$@" source qtbase-opensource-src qtsvg-opensource-src)
rm -rf "$apt_dir"
qtbase_src=$(find "$work/src" -maxdepth 1 -type d -name 'qtbase-opensource-src-*' | head -n 1)
qtsvg_src=$(find "$work/src" -maxdepth 1 -type d -name 'qtsvg-opensource-src-*' | head -n 1)
if [ ! -x "$qtbase_src/configure" ] || [ ! -f "$qtsvg_src/qtsvg.pro" ]; then
    echo "build-qt-windows.sh: the Qt sources were not unpacked" >&2
    exit 1
fi
case "$qtbase_src" in
*-"$qt_version"*) ;;
*)
    echo "build-qt-windows.sh: expected Qt $qt_version, got $qtbase_src" >&2
    exit 1
    ;;
esac
step "fetching the sources"

# Qt's CROSS_COMPILE prefix names plain $target-gcc and $target-g++: point
# them at the posix-thread compilers through a folder of links on PATH.
mkdir -p "$work/bin"
for tool in gcc g++ c++ cpp gcc-ar gcc-nm gcc-ranlib; do
    ln -s "$(command -v $target-$tool-posix)" "$work/bin/$target-$tool"
done
PATH=$work/bin:$PATH
export PATH

mkdir -p "$work/qtbase-build"
# The options are meant to be split into words here.
# shellcheck disable=SC2086
(cd "$work/qtbase-build" && logged "$qtbase_src/configure" -prefix "$prefix" -platform linux-g++ $configure_options)
step "configuring qtbase"
(cd "$work/qtbase-build" && logged make -j"$jobs" && logged make install)
step "building qtbase"

mkdir -p "$work/qtsvg-build"
(cd "$work/qtsvg-build" && logged "$prefix/bin/qmake" "$qtsvg_src/qtsvg.pro" &&
    logged make -j"$jobs" && logged make install)
step "building qtsvg"

{
    echo "Qt $qt_version for $target, built by build-qt-windows.sh"
    echo "sources: $(basename "$qtbase_src") $(basename "$qtsvg_src")"
    (cd "$work/src" && ls ./*.dsc)
    echo "configure: $configure_options"
} >"$prefix/nodespotter-build-info.txt"
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
