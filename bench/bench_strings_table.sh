#!/bin/bash
# Processor time of `taskset -c 0 ZORBEL --strings --table big.tbl FILE` against
# `taskset -c 0 ZORBEL --strings --codepage 936 FILE`, both to /dev/null, for one
# or more builds interleaved. FILE is bench_strings.sh's 256 MiB of GB text,
# ASCII words and random bytes (run it once to make the file), the table
# bench_dump_table.sh's. Each line gives the round, the build, the table's
# seconds, the code page's, their ratio and the load.
#   bench/bench_strings_table.sh ROUNDS ZORBEL... [-- DIR]   (big.tbl made in DIR, default /tmp/zorbel-table)
#   STRINGS_FILE=... to read another file than /tmp/zorbel-bench-strings.bin
set -eu
dir=/tmp/zorbel-table
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
source "$here/dump_rounds.sh"
file=${STRINGS_FILE:-/tmp/zorbel-bench-strings.bin}
[ -s "$file" ] || { echo "$file: make it with bench/bench_strings.sh" >&2; exit 2; }
[ -s big.tbl ] || "$here/bench_dump_table.sh" 0 "${builds[0]}" -- "$dir"
warm "$file"
for ((r = 1; r <= rounds; ++r)); do
    for zorbel in "${builds[@]}"; do
        table=$(cpu taskset -c 0 "$zorbel" --strings --table big.tbl "$file")
        page=$(cpu taskset -c 0 "$zorbel" --strings --codepage 936 "$file")
        echo "$r $zorbel $table $page $(echo "scale=2; $table / $page" | bc) $(cut -d' ' -f1 /proc/loadavg)"
    done
done
