#!/bin/sh
# The include-direction check passes on the tree as it is, and fails, naming
# the file and the header, once a wrong include is planted in a copy of it.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
check="$root/scripts/check-includes.py"
python3 "$check" "$root"

copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
for folder in common enip bootp net discovery client addressserver inventory cli ui app; do
    cp -r "$root/$folder" "$copy/$folder"
done
# A client file that reaches up into the window, and a codec file that
# reaches sideways into the finder.
printf '#include "deviceclient.h"\n#include "mainwindow.h"\n' >"$copy/client/planted.cpp"
printf '#include "devicerecord.h"\n' >>"$copy/enip/cpf.cpp"
# The finder reaching up into the inventory built on it.
printf '#include "inventory.h"\n' >>"$copy/discovery/sweep.cpp"
if python3 "$check" "$copy" 2>"$copy/out"; then
    echo "check-includes-test: the planted includes were not found" >&2
    exit 1
fi
cat "$copy/out"
grep -q 'client/planted.cpp:2: includes "mainwindow.h" of app/' "$copy/out"
grep -q 'enip/cpf.cpp:[0-9]*: includes "devicerecord.h" of discovery/' "$copy/out"
grep -q 'discovery/sweep.cpp:[0-9]*: includes "inventory.h" of inventory/' "$copy/out"
# The allowed include in the planted file is not reported.
! grep -q 'planted.cpp:1:' "$copy/out"
echo "check-includes-test: the planted includes were found"
