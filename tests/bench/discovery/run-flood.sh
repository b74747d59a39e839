#!/bin/sh
# Runs the flood benchmark in fresh rigs, once per kind of reply: 2,000
# datagrams at 2,000 a second from two devices.
# usage: run-flood.sh PATH/TO/bench_flood   (as root)
set -eu
bench=$1
rig=$(cd "$(dirname "$0")/../../rig" && pwd)/rig.sh
export QT_QPA_PLATFORM=offscreen
for kind in typical count65535 identities longItem manyItems; do
    "$rig" 10.202.1.1/24 -- "$bench" "$kind"
done
