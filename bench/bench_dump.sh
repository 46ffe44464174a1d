#!/bin/sh
# zorbel --dump --codepage 936 of 256 MiB of random bytes against xxd on the same
# warm file, both written to /dev/null; each figure is the best of three runs.
#   bench/bench_dump.sh ZORBEL [DIR]   (the file is made in DIR, default /tmp, and kept for reruns)
set -eu
zorbel=${1:?usage: bench_dump.sh ZORBEL [DIR]}
file=${2:-/tmp}/zorbel-bench-dump.bin
size=$((256 * 1024 * 1024))
if [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" -ne "$size" ]; then
    head -c "$size" /dev/urandom > "$file"
fi
cat "$file" > /dev/null

best() {
    best_s=
    for _ in 1 2 3; do
        start=$(date +%s.%N)
        "$@" > /dev/null
        end=$(date +%s.%N)
        best_s=$(awk -v a="$start" -v b="$end" -v best="$best_s" \
            'BEGIN { s = b - a; if (best == "" || s < best) best = s; print best }')
    done
    echo "$best_s"
}

dump=$(best "$zorbel" --dump --codepage 936 "$file")
xxd=$(best xxd "$file")
awk -v d="$dump" -v x="$xxd" 'BEGIN {
    printf "zorbel --dump --codepage 936, 256 MiB random: %.3f s; xxd: %.3f s; %.1f x as fast\n", d, x, x / d }'
