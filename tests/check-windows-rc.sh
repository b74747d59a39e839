#!/bin/sh
# Compiles the Windows resource script with the MinGW resource compiler, then
# reads the compiled resources back and checks that the icon, the version
# strings and the manifest made it in. VERSION is the project's (1.2.3);
# the version block gives it in four parts (1, 2, 3, 0 and "1.2.3.0").
# usage: check-windows-rc.sh RC-FILE WINDRES VERSION
set -eu
rc=$1
windres=$2
version=$(printf '%s.0.0.0\n' "$3" | cut -d. -f1-4)
numbers=$(printf '%s\n' "$version" | sed 's/\./, /g')
if [ -z "$windres" ] || ! command -v "$windres" >/dev/null 2>&1; then
    echo "i686-w64-mingw32-windres not found (Debian package binutils-mingw-w64-i686)" >&2
    exit 1
fi
# windres preprocesses with the MinGW compiler; the script needs no Windows
# headers, so the host's C preprocessor serves when that compiler is absent.
set --
command -v i686-w64-mingw32-gcc >/dev/null 2>&1 || set -- --preprocessor=cpp

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$windres" "$@" -i "$rc" -O res -o "$out/nodespotter.res"
"$windres" -J res -i "$out/nodespotter.res" -O rc -o "$out/decompiled.rc"

status=0
for expected in \
    'Name: "IDI_ICON1"' \
    "FILEVERSION $numbers" \
    "PRODUCTVERSION $numbers" \
    "VALUE \"FileVersion\", \"$version\"" \
    "VALUE \"ProductVersion\", \"$version\"" \
    'VALUE "ProductName", "NodeSpotter"' \
    'VALUE "OriginalFilename", "NodeSpotter.exe"' \
    '1 24 /\* RT_MANIFEST \*/' \
    "name=\"\"Quorvel.NodeSpotter\"\" version=\"\"$version\"\"" \
    'requestedExecutionLevel level=""asInvoker""' \
    'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""'
do
    if ! grep -q "$expected" "$out/decompiled.rc"; then
        echo "missing from the compiled resources: $expected" >&2
        status=1
    fi
done
# The group icon holds one 256 x 256 (width and height 0), 32-bit image.
group=$(sed -n '/Name: "IDI_ICON1"/,/^END/p' "$out/decompiled.rc")
if ! printf "%s\n" "$group" | grep -q 'Has 1 elements' \
        || ! printf "%s\n" "$group" | grep -q '"\\000\\000\\000\\000", 1, 32,'; then
    echo "IDI_ICON1 does not hold exactly one 256 x 256, 32-bit image" >&2
    status=1
fi
[ $status = 0 ] && echo "Windows resources compile and hold icon, version block and manifest."
exit $status
