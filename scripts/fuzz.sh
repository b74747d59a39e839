#!/bin/sh
# Installs clang, builds the fuzz targets with it (the codec's ListIdentity
# decode, the address server's request decode and the inventory reader) and
# runs them one after the other, sharing a bounded time (first argument in
# seconds, default 90), each on a scratch copy of its seed corpus, so that
# runs never write into the repository. Fails on any crash, leak or
# sanitizer report.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh run clang

seconds=${1:-90}
dir=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNODESPOTTER_FUZZ=ON -DNODESPOTTER_BENCHMARKS=OFF
cmake --build "$dir" --target fuzz_enip fuzz_bootp fuzz_inventory -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The codec's decode (inputs up to 4 KiB, each also read as text) gets
# about a third of the time, the BOOTP decode, some twenty times faster a
# run, two fifths, and the inventory reader, whose inputs are whole files,
# a quarter. On two idle cores 90 s run about 1.4 million inputs together,
# most of them BOOTP's; the total is printed at the end.
bootp_seconds=$((seconds * 2 / 5))
[ "$bootp_seconds" -ge 1 ] || bootp_seconds=1
inventory_seconds=$((seconds / 4))
[ "$inventory_seconds" -ge 1 ] || inventory_seconds=1
enip_seconds=$((seconds - bootp_seconds - inventory_seconds))
[ "$enip_seconds" -ge 1 ] || enip_seconds=1
run() {
    target=$1 corpus=$2 time=$3 maxlen=$4
    rm -rf "$dir/$corpus" "$dir/artifacts-$target"
    mkdir -p "$dir/$corpus" "$dir/artifacts-$target"
    cp tests/fuzz/"$corpus"/* "$dir/$corpus/"
    status=0
    "$dir/tests/fuzz/$target" -max_total_time="$time" -max_len="$maxlen" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$dir/artifacts-$target/" "$dir/$corpus" 2>"$dir/$target.log" || status=$?
    cat "$dir/$target.log" >&2
    [ "$status" -eq 0 ] || exit "$status"
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$dir/$target.log")
    echo "fuzz.sh: $target ran ${runs:-0} inputs in $time s"
    total=$((total + ${runs:-0}))
}
total=0
# Inputs up to a whole TCP answer at the framing limit (24 + 4096 bytes)
# for the codec, up to an Ethernet frame's UDP payload for BOOTP.
run fuzz_enip corpus "$enip_seconds" 4120
run fuzz_bootp corpus-bootp "$bootp_seconds" 1472
# A saved inventory of a few devices with their slots.
# Qt 5's JSON reader leaks on a key given twice: the suppression file says
# how, and why it names all of Qt Core.
export LSAN_OPTIONS=suppressions=$PWD/tests/fuzz/inventory-lsan.supp:print_suppressions=0
run fuzz_inventory corpus-inventory "$inventory_seconds" 8192
echo "Fuzzing ran $total inputs in $seconds s without findings."
