#!/bin/sh
# Builds the 32-bit Windows packages: builds Qt for Windows into the cache
# when it is not there (scripts/build-qt-windows.sh), then the program
# (release, in BUILD-DIR, by default build-windows-package without tests),
# and makes
#   BUILD-DIR/NodeSpotter-<version>-win32.zip
#       a portable folder: NodeSpotter.exe, its console companion
#       nodespotter-cli.exe for --list, the Qt and MinGW runtime DLLs they
#       needs, the windows and offscreen platform plug-ins, the SVG and ICO
#       image plug-ins and the Windows Vista style;
#   BUILD-DIR/NodeSpotter-<version>-win32-setup.exe
#       its NSIS installer (resources/windows/installer.nsi).
# Every DLL that the executable or a bundled DLL imports is checked: it is
# either in the folder or one of Windows' own. The executable's PE headers
# and resources are checked too. The last two lines printed are the paths
# of the zip and the installer.
# usage: package-windows.sh [BUILD-DIR]
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh run windows-rc package windows

target=i686-w64-mingw32
objdump=$target-objdump
qt=$(scripts/build-qt-windows.sh | tail -n 1)
version=$(sed -n 's/^project(NodeSpotter VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package-windows.sh: no version in CMakeLists.txt" >&2; exit 1; }

dir=${1:-build-windows-package}
# A build directory of its own has no tests; a given one keeps its choice.
set --
[ -f "$dir/CMakeCache.txt" ] || set -- -DBUILD_TESTING=OFF
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" -DCMAKE_PREFIX_PATH="$qt" \
    -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)" --target NodeSpotter nodespotter-cli

name=NodeSpotter-$version-win32
stage=$dir/$name
rm -rf "$stage" "$dir/$name.zip" "$dir/$name-setup.exe"
mkdir -p "$stage/platforms" "$stage/imageformats" "$stage/styles"
$target-strip -o "$stage/NodeSpotter.exe" "$dir/app/NodeSpotter.exe"
$target-strip -o "$stage/nodespotter-cli.exe" "$dir/cli/nodespotter-cli.exe"
cp "$qt/plugins/platforms/qwindows.dll" "$qt/plugins/platforms/qoffscreen.dll" "$stage/platforms/"
cp "$qt/plugins/imageformats/qsvg.dll" "$qt/plugins/imageformats/qico.dll" "$stage/imageformats/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# Qt looks for its plug-ins beside the executable, not under the build
# machine's prefix compiled into Qt5Core.dll.
printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\n' >"$stage/qt.conf"

# The PE header: a 32-bit x86 GUI-subsystem executable.
headers=$($objdump -p "$stage/NodeSpotter.exe")
for expected in 'file format pei-i386' 'Subsystem		00000002	(Windows GUI)'; do
    printf '%s\n' "$headers" | grep -qF "$expected" ||
        { echo "package-windows.sh: NodeSpotter.exe: not found in the PE header: $expected" >&2; exit 1; }
done
# The companion is a console-subsystem program, so that cmd.exe and
# PowerShell wait for it and show what it prints.
cli_headers=$($objdump -p "$stage/nodespotter-cli.exe")
printf '%s\n' "$cli_headers" | grep -qF 'Subsystem		00000003	(Windows CUI)' ||
    { echo "package-windows.sh: nodespotter-cli.exe is not a console program" >&2; exit 1; }
# It runs the engine alone: Qt Core and Qt Network, no Qt Gui or Widgets.
cli_imports=$(printf '%s\n' "$cli_headers" | sed -n 's/^[[:space:]]*DLL Name: //p')
printf '%s\n' "$cli_imports" | grep -qx 'Qt5Core.dll' && printf '%s\n' "$cli_imports" | grep -qx 'Qt5Network.dll' ||
    { echo "package-windows.sh: nodespotter-cli.exe does not import Qt5Core.dll and Qt5Network.dll" >&2; exit 1; }
if printf '%s\n' "$cli_imports" | grep -qE '^Qt5(Gui|Widgets)\.dll$'; then
    echo "package-windows.sh: nodespotter-cli.exe imports Qt Gui or Qt Widgets" >&2
    exit 1
fi
# The resources compiled in: the manifest (UTF-8) and the version block
# (UTF-16).
for expected in 'level="asInvoker"' 'name="Microsoft.Windows.Common-Controls"'; do
    $target-strings -a "$stage/NodeSpotter.exe" | grep -qF "$expected" ||
        { echo "package-windows.sh: NodeSpotter.exe: no $expected in the manifest" >&2; exit 1; }
done
for expected in "NodeSpotter.exe" "$version.0"; do
    $target-strings -a -el "$stage/NodeSpotter.exe" | grep -qxF "$expected" ||
        { echo "package-windows.sh: NodeSpotter.exe: no \"$expected\" in the version block" >&2; exit 1; }
done

# Windows' own DLLs, which the folder must not carry.
is_system_dll() {
    case $(echo "$1" | tr '[:upper:]' '[:lower:]') in
    advapi32.dll | comdlg32.dll | crypt32.dll | d3d9.dll | d3d11.dll | dnsapi.dll | dwmapi.dll | dxgi.dll | \
        gdi32.dll | imm32.dll | iphlpapi.dll | kernel32.dll | mpr.dll | msvcrt.dll | netapi32.dll | ole32.dll | \
        oleaut32.dll | secur32.dll | setupapi.dll | shell32.dll | shlwapi.dll | user32.dll | userenv.dll | \
        uxtheme.dll | version.dll | winmm.dll | winspool.drv | ws2_32.dll | wtsapi32.dll | comctl32.dll | \
        api-ms-win-*.dll)
        return 0
        ;;
    esac
    return 1
}
search="$qt/bin $(dirname "$($target-g++-posix -print-file-name=libstdc++-6.dll)") \
$(dirname "$($target-g++-posix -print-file-name=libwinpthread-1.dll)")"
# Copies every DLL the given files import, and what those import, until
# nothing new turns up.
pending=$(find "$stage" -name '*.exe' -o -name '*.dll')
while [ -n "$pending" ]; do
    next=
    for file in $pending; do
        for dll in $($objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
            is_system_dll "$dll" && continue
            [ -f "$stage/$dll" ] && continue
            found=
            for d in $search; do
                if [ -f "$d/$dll" ]; then
                    found=$d/$dll
                    break
                fi
            done
            if [ -z "$found" ]; then
                echo "package-windows.sh: $(basename "$file") imports $dll, which is neither bundled nor Windows' own" >&2
                exit 1
            fi
            cp "$found" "$stage/$dll"
            next="$next $stage/$dll"
        done
    done
    pending=$next
done
echo "package-windows.sh: the folder holds:" >&2
(cd "$stage" && find . -type f | sort | sed 's|^\./|    |') >&2

(cd "$dir" && rm -f "$name.zip" && zip -qrX "$name.zip" "$name")

# The uninstaller deletes exactly the installed files, then their folders
# deepest first.
list=$dir/uninstall-files.nsh
{
    (cd "$stage" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s|.*|    Delete "$INSTDIR\\&"|'
    (cd "$stage" && find . -mindepth 1 -type d | sort -r) | sed 's|^\./||; s|/|\\|g; s|.*|    RMDir "$INSTDIR\\&"|'
} >"$list"
makensis -V2 -DVERSION="$version" -DSOURCE_DIR="$root/$stage" -DUNINSTALL_LIST="$root/$list" \
    -DOUTFILE="$root/$dir/$name-setup.exe" resources/windows/installer.nsi >&2

ls -l "$dir/$name.zip" "$dir/$name-setup.exe" >&2
echo "$root/$dir/$name.zip"
echo "$root/$dir/$name-setup.exe"
