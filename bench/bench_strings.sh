#!/bin/sh
# zorbel --strings --codepage 936 of 256 MiB of GB text mixed with binary
# against strings -n 4 (binutils, ASCII only) on the same warm file, both on
# one core (taskset) and written to /dev/null; the processor time of each
# round, taking turns, and the peak memory (resident set) of one run of each.
#   [ROUNDS=N] [BEFORE=ZORBEL0] bench/bench_strings.sh ZORBEL [DIR]   (the file is made in DIR, default /tmp, and kept for reruns)
# With BEFORE, that build takes its turn in every round too, for a change's
# before and after measured under the same load.
set -eu
zorbel=${1:?usage: bench_strings.sh ZORBEL [DIR]}
file=${2:-/tmp}/zorbel-bench-strings.bin
size=$((256 * 1024 * 1024))
if [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" -ne "$size" ]; then
    # A 1 MiB piece of GB sentences, ASCII words and random bytes, repeated.
    python3 - "$file" "$size" <<'PY'
import random, sys
random.seed(1)
words = "中文字符串测试数据日本語資料游戏文本固件版本错误信息设置选项开始结束".encode("gbk")
pairs = [words[i:i + 2] for i in range(0, len(words), 2)]
piece = bytearray()
while len(piece) < 1 << 20:
    kind = random.random()
    if kind < 0.4:
        piece += b"".join(random.choice(pairs) for _ in range(random.randint(2, 30)))
    elif kind < 0.6:
        piece += bytes(random.choice(b"abcdefghijklmnopqrstuvwxyz ") for _ in range(random.randint(2, 30)))
    else:
        piece += random.randbytes(random.randint(1, 60))
piece = bytes(piece[:1 << 20])
with open(sys.argv[1], "wb") as f:
    for _ in range(int(sys.argv[2]) >> 20):
        f.write(piece)
PY
fi
cat "$file" > /dev/null

# Processor time (user + system) rather than wall time: on a machine shared
# with builds the wall time mostly measures the others. The programs take
# turns, ROUNDS times (default 5); each figure is the best and the worst round,
# to the millisecond (time(1) rounds to 10 ms, 3 % of a run near the target).
# bash's times gives the children's user and system time to the millisecond.
cpu() {
    bash -c 'taskset -c 0 "$@" > /dev/null; times' _ "$@" | tail -n 1 |
        awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%.3f\n", u[1] * 60 + u[2] + s[1] * 60 + s[2] }'
}
peak() {
    /usr/bin/time -f "%M" taskset -c 0 "$@" 2>&1 > /dev/null | tail -n 1
}

rounds=${ROUNDS:-5}
echo "load before: $(uptime)"
ours=
theirs=
before=
for _ in $(seq "$rounds"); do
    [ -z "${BEFORE:-}" ] || before="$before $(cpu "$BEFORE" --strings --codepage 936 "$file")"
    ours="$ours $(cpu "$zorbel" --strings --codepage 936 "$file")"
    theirs="$theirs $(cpu strings -n 4 "$file")"
done
echo "load after: $(uptime)"
ours_kib=$(peak "$zorbel" --strings --codepage 936 "$file")
theirs_kib=$(peak strings -n 4 "$file")
[ -z "${BEFORE:-}" ] || echo "$BEFORE --strings --codepage 936 (s):$before"
echo "zorbel --strings --codepage 936 (s):$ours"
echo "strings -n 4 (s):$theirs"
awk -v a="$ours" -v b="$theirs" -v m="$ours_kib" -v n="$theirs_kib" 'BEGIN {
    na = split(a, xa, " "); nb = split(b, xb, " ")
    amin = amax = xa[1]; for (i = 2; i <= na; i++) { if (xa[i] < amin) amin = xa[i]; if (xa[i] > amax) amax = xa[i] }
    bmin = bmax = xb[1]; for (i = 2; i <= nb; i++) { if (xb[i] < bmin) bmin = xb[i]; if (xb[i] > bmax) bmax = xb[i] }
    rmin = rmax = xb[1] / xa[1]; for (i = 2; i <= na; i++) { r = xb[i] / xa[i]; if (r < rmin) rmin = r; if (r > rmax) rmax = r }
    printf "zorbel: %.3f-%.3f s, peak %.1f MiB; strings -n 4: %.3f-%.3f s, peak %.1f MiB; best against best %.2f x as fast, per round %.2f-%.2f x\n",
        amin, amax, m / 1024, bmin, bmax, n / 1024, bmin / amin, rmin, rmax }'
[ -z "${BEFORE:-}" ] || awk -v a="$ours" -v c="$before" -v b="$theirs" 'BEGIN {
    na = split(a, xa, " "); split(c, xc, " "); split(b, xb, " ")
    cmin = cmax = xc[1]; rmin = rmax = xa[1] / xc[1]; smin = smax = xb[1] / xc[1]
    for (i = 2; i <= na; i++) {
        if (xc[i] < cmin) cmin = xc[i]; if (xc[i] > cmax) cmax = xc[i]
        r = xa[i] / xc[i]; if (r < rmin) rmin = r; if (r > rmax) rmax = r
        r = xb[i] / xc[i]; if (r < smin) smin = r; if (r > smax) smax = r
    }
    printf "before: %.3f-%.3f s, %.2f-%.2f x as fast as strings per round; after / before per round %.3f-%.3f\n",
        cmin, cmax, smin, smax, rmin, rmax }'
