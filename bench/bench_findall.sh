#!/bin/bash
# zorbel --find 中文 (GB, BIG5, Shift JIS, UTF-8, UTF-16LE and UTF-16BE in one
# pass) over 1 GiB against grep -c -F -a run once per encoding (six runs,
# summed), both on one core (taskset) on the same warm file, interleaved round
# by round; each figure is processor time (user + system). Two files: random
# bytes, and GB text mixed with ASCII words and random bytes.
#   bench/bench_findall.sh ZORBEL [ROUNDS] [DIR]   (files made in DIR, default /tmp, and kept)
set -eu
zorbel=${1:?usage: bench_findall.sh ZORBEL [ROUNDS] [DIR]}
rounds=${2:-3}
dir=${3:-/tmp}
size=$((1024 * 1024 * 1024))
export LC_ALL=C

make_file() {
    python3 - "$1" "$size" "$2" <<'PY'
import random, sys
random.seed(3)
path, size, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
if kind == "random":
    piece = random.randbytes(1 << 20)
else:
    words = "中国文字测试数据日本語資料游戏文本固件版本错误信息设置选项开始结束".encode("gbk")
    pairs = [words[i:i + 2] for i in range(0, len(words), 2)]
    piece = bytearray()
    while len(piece) < 1 << 20:
        r = random.random()
        if r < 0.4:
            piece += b"".join(random.choice(pairs) for _ in range(random.randint(2, 30)))
        elif r < 0.6:
            piece += bytes(random.choice(b"abcdefghijklmnopqrstuvwxyz ") for _ in range(random.randint(2, 30)))
        else:
            piece += random.randbytes(random.randint(1, 60))
    piece = bytes(piece[:1 << 20])
with open(path, "wb") as f:
    for _ in range(size >> 20):
        f.write(piece)
PY
}

cpu() {
    /usr/bin/time -f "%U %S" taskset -c 0 "$@" 2>&1 > /dev/null | tail -n 1 | awk '{ print $1 + $2 }'
}

# The six encodings of 中文, as grep -F takes them.
patterns=(
    $'\xD6\xD0\xCE\xC4' $'\xA4\xA4\xA4\xE5' $'\x92\x86\x95\xB6' $'\xE4\xB8\xAD\xE6\x96\x87'
    $'\x2D\x4E\x87\x65' $'\x4E\x2D\x65\x87'
)

for kind in random gbtext; do
    file=$dir/zorbel-bench-findall-$kind.bin
    [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" -eq "$size" ] || make_file "$file" "$kind"
    cat "$file" > /dev/null
    for round in $(seq "$rounds"); do
        ours=$(cpu "$zorbel" --find 中文 "$file")
        theirs=0
        for p in "${patterns[@]}"; do
            t=$(cpu grep -c -F -a -- "$p" "$file")
            theirs=$(awk -v a="$theirs" -v b="$t" 'BEGIN { print a + b }')
        done
        awk -v k="$kind" -v r="$round" -v a="$ours" -v b="$theirs" -v l="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
            printf "%s round %d: zorbel --find %.3f s (%.2f GB/s), six greps %.3f s, %.2f x as fast; load %s\n",
                k, r, a, 1.073741824 / a, b, b / a, l }'
    done
done
