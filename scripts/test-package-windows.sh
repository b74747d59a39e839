#!/bin/sh
# Tests the Windows packages under wine, in the discovery rig (one link
# 10.201.1.1/24) and a fresh wine prefix (tests/wine/wine-run.sh):
#   - installs the setup silently (/S);
#   - checks the installed files (the zip's folder plus the uninstaller,
#     byte for byte), the Start-menu shortcut and the Add/Remove Programs
#     entry (wine reg query);
#   - runs the installed program, with nothing but its own folder's DLLs,
#     where it must list a text device and an EtherNet/IP device, and its
#     console companion, which must print them with --list;
#   - uninstalls silently and checks that nothing of it is left.
# Wine's netsh has no advfirewall, so the firewall rule cannot be seen
# here: the installer script's add and delete commands are checked instead.
# usage: test-package-windows.sh NodeSpotter-<version>-win32-setup.exe NodeSpotter-<version>-win32.zip
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != --inside ]; then
    [ $# = 2 ] || { echo "usage: test-package-windows.sh SETUP.exe ZIP" >&2; exit 2; }
    "$here/scripts/install-deps.sh" rig windows
    setup=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
    zip=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
    # The firewall rule, from the installer script: added for the program,
    # deleted again by the uninstaller. It names no port, so it also admits
    # the address server's UDP 67.
    nsi=$here/resources/windows/installer.nsi
    grep -q 'netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\\${PROGRAM}" protocol=UDP' "$nsi"
    grep -q 'netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}" program="$INSTDIR\\${PROGRAM}"' "$nsi"
    # The console companion gets the same rule, and loses it again.
    grep -q 'netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\\${CLI_PROGRAM}" protocol=UDP' "$nsi"
    grep -q 'netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}" program="$INSTDIR\\${CLI_PROGRAM}"' "$nsi"
    # The unpacked zip lives outside wine-run.sh's private /tmp.
    work=$(mktemp -d "$(dirname "$zip")/test.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && unzip -q "$zip")
    "$here/tests/rig/rig.sh" 10.201.1.1/24 -- "$here/tests/wine/wine-run.sh" -- \
        "$here/scripts/test-package-windows.sh" --inside "$setup" "$work"/NodeSpotter-*-win32
    exit $?
fi
setup=$2
portable=$3
version=$(basename "$portable" | sed 's/^NodeSpotter-\(.*\)-win32$/\1/')

fail() {
    echo "test-package-windows.sh: FAILED: $*" >&2
    exit 1
}
drive_c=$WINEPREFIX/drive_c
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvelNodeSpotter'

echo "test-package-windows.sh: installing $(basename "$setup") silently"
wine "$setup" /S || fail "the installer exited with $?"
wineserver -w
publisher_dir=$drive_c/Program\ Files/Quorvel
install_dir=$publisher_dir/Node\ Spotter
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvel Node Spotter.lnk"
[ -d "$install_dir" ] || fail "nothing installed in Program Files\\Quorvel\\Node Spotter"

expected=$( (cd "$portable" && find . -type f && echo ./Uninstall.exe) | sort)
installed=$( (cd "$install_dir" && find . -type f) | sort)
[ "$installed" = "$expected" ] || fail "installed files differ from the zip's: $(printf '%s\n' "$installed" | tr '\n' ' ')"
(cd "$portable" && find . -type f) | while read -r f; do
    cmp -s "$portable/$f" "$install_dir/$f" || fail "$f differs from the zip's"
done
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
strings -el "$shortcut" | grep -q 'Node Spotter\\NodeSpotter.exe' ||
    strings "$shortcut" | grep -q 'Node Spotter\\NodeSpotter.exe' || fail "the shortcut does not point at NodeSpotter.exe"

entry=$(wine reg query "$key" | tr -d '\r') || fail "no uninstall entry"
for line in "DisplayName    REG_SZ    Quorvel Node Spotter" "DisplayVersion    REG_SZ    $version" \
    "Publisher    REG_SZ    Quorvel" 'DisplayIcon    REG_SZ    C:\Program Files\Quorvel\Node Spotter\NodeSpotter.exe' \
    'UninstallString    REG_SZ    "C:\Program Files\Quorvel\Node Spotter\Uninstall.exe"'; do
    printf '%s\n' "$entry" | grep -qF "$line" || fail "the uninstall entry lacks: $line
$entry"
done
echo "test-package-windows.sh: files, shortcut and uninstall entry are in place"

# The installed program finds the rig's devices with its own DLLs only.
unset WINEPATH
python3 "$here/tests/wine/program-in-rig.py" "$install_dir/NodeSpotter.exe" || fail "the installed program"
python3 "$here/tests/wine/program-in-rig.py" --list "$install_dir/nodespotter-cli.exe" || fail "the installed nodespotter-cli --list"

echo "test-package-windows.sh: uninstalling silently"
# The uninstaller copies itself away and runs from there: wait for it.
wine "$install_dir/Uninstall.exe" /S || fail "the uninstaller exited with $?"
wineserver -w
[ ! -e "$install_dir" ] || fail "left behind: $(cd "$install_dir" && find . | tr '\n' ' ')"
[ ! -e "$publisher_dir" ] || fail "the empty publisher folder Program Files\\Quorvel is left behind"
[ ! -e "$shortcut" ] || fail "the shortcut is left behind"
if wine reg query "$key" >/dev/null 2>&1; then
    fail "the uninstall entry is left behind"
fi
echo "test-package-windows.sh: installed, run in the rig and uninstalled without a trace"
