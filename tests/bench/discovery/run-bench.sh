#!/bin/sh
# Runs the discovery benchmark in fresh rigs: 250 devices behind one /24 and
# 1000 devices over four /24 on four interfaces, each once with replies
# spread over 0 to 2000 ms and once all at the same moment. Every case runs
# at this machine's receive-buffer limit (net.core.rmem_max) and again at
# Linux's stock limit of 212992 bytes. That setting is global to the
# machine, so it is changed only for the stock run of each case and put back
# at once, also when the run fails or the script is stopped.
#
# usage: run-bench.sh PATH/TO/bench_discovery [ROUNDS]   (as root)
#
# The program's debug log goes to bench_discovery.log in $TMPDIR (or /tmp),
# overwritten by each run; the script checks that it holds one
# "Device added" line per device listed.
set -eu
bench=$1
rounds=${2:-1}
rig=$(cd "$(dirname "$0")/../../rig" && pwd)/rig.sh
log=${TMPDIR:-/tmp}/bench_discovery.log
export QT_QPA_PLATFORM=offscreen

stock=212992
machine=$(sysctl -n net.core.rmem_max)
restore() { sysctl -qw net.core.rmem_max="$machine"; }
trap restore EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# run N CASE LINK...
run() {
    n=$1
    case=$2
    shift 2
    for limit in "$machine" "$stock"; do
        sysctl -qw net.core.rmem_max="$limit"
        status=0
        line=$("$rig" "$@" -- "$bench" "$n" "$case" 2>"$log") || status=$?
        restore
        [ "$status" = 0 ] || { echo "bench_discovery failed ($status); its log: $log" >&2; exit 1; }
        added=$(grep -c 'Device added to the list' "$log" || true)
        echo "$line log_device_lines=$added"
    done
}

round=0
while [ "$round" -lt "$rounds" ]; do
    round=$((round + 1))
    for case in spread burst; do
        run 250 "$case" 10.202.1.1/24
        run 1000 "$case" 10.202.1.1/24 10.202.2.1/24 10.202.3.1/24 10.202.4.1/24
    done
done
