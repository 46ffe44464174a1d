#!/bin/bash
# Processor time of `taskset -c 0 ZORBEL --dump --table big.tbl random.bin` against
# `taskset -c 0 ZORBEL --dump --codepage 936 random.bin`, both to /dev/null, over
# 256 MiB of random bytes, for one or more builds interleaved. The table is
# bench_table's: the 95 printable ASCII bytes and 9,905 two-byte keys from 8140
# on, each read as an ideograph. Each line gives the round, the build, the
# table's seconds, the code page's, their ratio and the load.
#   bench/bench_dump_table.sh ROUNDS ZORBEL... [-- DIR]   (files made in DIR, default /tmp/zorbel-table, and kept)
set -eu
dir=/tmp/zorbel-table
source "$(dirname "${BASH_SOURCE[0]}")/dump_rounds.sh"
[ -s random.bin ] || head -c $((256 * 1024 * 1024)) /dev/urandom > random.bin
[ -s big.tbl ] || perl -CO -e 'print "# ASCII, then two-byte keys\n";
    printf("%X=%s\n", $_, chr($_)) for 0x20 .. 0x7E;
    for my $i (0 .. 10000 - 96) { printf("%X=%s\n", 0x8140 + int($i / 190) * 256 + $i % 190, chr(0x4E00 + $i)) }' > big.tbl
warm random.bin
for ((r = 1; r <= rounds; ++r)); do
    for zorbel in "${builds[@]}"; do
        table=$(cpu taskset -c 0 "$zorbel" --dump --table big.tbl random.bin)
        page=$(cpu taskset -c 0 "$zorbel" --dump --codepage 936 random.bin)
        echo "$r $zorbel $table $page $(echo "scale=2; $table / $page" | bc) $(cut -d' ' -f1 /proc/loadavg)"
    done
done
