#!/bin/sh
# Runs the flood benchmark in fresh rigs of two cards: every kind of reply
# at 2,000 to 120,000 datagrams a second, ROUNDS rounds each (default 10),
# then the soak of 200 searches with 250 devices.
# usage: run-flood.sh PATH/TO/bench_flood [ROUNDS [KIND...]]   (as root)
set -eu
bench=$1
rounds=${2:-10}
shift $(($# > 1 ? 2 : 1))
kinds=${*:-typical count65535 identities longItem manyItems text}
rig=$(cd "$(dirname "$0")/../../rig" && pwd)/rig.sh
export QT_QPA_PLATFORM=offscreen
echo "run-flood.sh: $(uptime)"
for kind in $kinds; do
    for rate in 2000 10000 30000 60000 120000; do
        "$rig" 10.202.1.1/24 10.202.2.1/24 -- "$bench" "$kind" "$rate" "$rounds" | tail -n 1
    done
done
"$rig" 10.202.1.1/24 10.202.2.1/24 -- "$bench" soak 200 250
echo "run-flood.sh: $(uptime)"
