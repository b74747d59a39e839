#!/bin/sh
# Runs the discovery benchmark in fresh rigs: 50 and 250 devices behind one
# /24, 1000 devices over four /24 on four interfaces, each once with replies
# spread over 500 ms and once all at the same moment.
# usage: run-bench.sh PATH/TO/bench_discovery   (as root)
set -eu
bench=$1
rig=$(cd "$(dirname "$0")/../../rig" && pwd)/rig.sh
export QT_QPA_PLATFORM=offscreen
for case in spread burst; do
    "$rig" 10.202.1.1/24 -- "$bench" 50 "$case"
    "$rig" 10.202.1.1/24 -- "$bench" 250 "$case"
    "$rig" 10.202.1.1/24 10.202.2.1/24 10.202.3.1/24 10.202.4.1/24 -- "$bench" 1000 "$case"
done
