#!/usr/bin/env bash
# The whole-build benchmark: generates a deterministic realistic build (a
# 32 MB source archive, about 1,000 data files of 48 MB in modes Z, A and raw,
# an O patch per file and some P patches), runs hackcomp on it and prints the
# wall time, the system calls, the peak memory and the time the encoder alone
# needs for the same Z and A data. Then the same for one 16 MB file in mode Z,
# one 256 MB file placed raw, and the start-up copy of a 256 MB source beside
# cp.     bash bench/build_bench.sh [WORK-FOLDER]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$top/build/bench-data}
cmake --preset bench -S "$top" >/dev/null
cmake --build --preset bench >/dev/null
bin=$top/build/bench/bin
for tool in strace; do
    command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install $tool)"; exit 1; }
done

measure() {  # measure LABEL: runs hackcomp in the current folder
    local label=$1
    rm -f out.bin
    /usr/bin/time -v "$bin/hackcomp" 2>time.txt >/dev/null
    local wall rss
    wall=$(awk -F': ' '/Elapsed/ {print $2}' time.txt)
    rss=$(awk -F': ' '/Maximum resident/ {print $2}' time.txt)
    rm -f out.bin
    strace -f -c -o strace.txt "$bin/hackcomp" >/dev/null
    local calls rw
    calls=$(awk '/^100.00/ {print $4}' strace.txt)
    rw=$(awk '$NF ~ /^(read|write|copy_file_range|pread64|pwrite64)$/ {n += $4} END {print n+0}' strace.txt)
    printf '%-34s wall %s, peak %s KB, %s system calls (%s read/write/copy)\n' \
        "$label" "$wall" "$rss" "$calls" "$rw"
    rm -f time.txt strace.txt
}

mkdir -p "$work"

echo "== whole build"
python3 "$top/bench/make_build.py" "$work/whole"
(cd "$work/whole" && measure "whole build")
(cd "$work/whole" && "$bin/hackcomp_encode_files" $(awk '$1 == "D" && ($4 == "Z" || $4 == "A") {print $2}' conf.txt))

echo "== one 16 MB file in mode Z"
mkdir -p "$work/z16"
python3 -c "
import random, sys
sys.path.insert(0, '$top/bench')
from make_build import text_pool, tile_pool
r = random.Random(5)
open('$work/z16/big.bin', 'wb').write(text_pool(r, 8 << 20) + tile_pool(r, 8 << 20))
open('$work/z16/base.bin', 'wb').write(bytes(4096))
open('$work/z16/conf.txt', 'w').write('1000 0 base.bin out.bin D big.bin N Z\n')
"
(cd "$work/z16" && measure "16 MB in mode Z")
(cd "$work/z16" && "$bin/hackcomp_encode_files" big.bin)

echo "== one 256 MB file placed raw, and the start-up copy of a 256 MB source"
mkdir -p "$work/raw256"
head -c $((256 << 20)) /dev/urandom >"$work/raw256/big.bin"
cp "$work/raw256/big.bin" "$work/raw256/base.bin"
echo '1000 0 base.bin out.bin D big.bin P0 R' >"$work/raw256/conf.txt"
(cd "$work/raw256" && measure "256 MB placed raw")
echo '1000 0 base.bin out.bin' >"$work/raw256/conf.txt"
(cd "$work/raw256" && rm -f out.bin copy.bin &&
    s=$(date +%s.%N) && "$bin/hackcomp" && e=$(date +%s.%N) &&
    cs=$(date +%s.%N) && cp base.bin copy.bin && ce=$(date +%s.%N) &&
    awk -v s="$s" -v e="$e" -v cs="$cs" -v ce="$ce" \
        'BEGIN {printf "start-up copy of 256 MB: hackcomp %.3f s, cp %.3f s\n", e - s, ce - cs}')
rm -rf "$work/raw256"
