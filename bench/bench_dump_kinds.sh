#!/bin/bash
# Processor time of `taskset -c 0 ZORBEL --dump FILE > /dev/null` over 64 MiB of
# each kind of content (ASCII text, random bytes, 0xCD, GB text, Shift JIS text,
# UTF-8 Chinese, UTF-8 Chinese with wide punctuation, and with quotation marks
# as well, and UTF-8 Japanese), the code page guessed, for one or more builds interleaved; each line gives the round, the kind, the build, the seconds and the load,
# and a summary by build follows on standard error.
#   bench/bench_dump_kinds.sh ROUNDS ZORBEL... [-- DIR]   (files made in DIR, default /tmp/zorbel-kinds, and kept)
set -eu
dir=/tmp/zorbel-kinds
source "$(dirname "${BASH_SOURCE[0]}")/dump_rounds.sh"
MiB=$((1024 * 1024))
# A 1 MiB piece of each kind of text, repeated; words or characters with some ASCII between.
piece() {
    case $1 in
    ascii) perl -e 'srand(5); my @w = qw(the of and to in a is that for it as was with be by on not he this are
        or his from at which but have an they you were their one all we can her has there been if more);
        my $s = ""; while (length($s) < 1048576) { my @t = map { $w[int(rand(@w))] } 1 .. 5 + int(rand(15));
        $t[0] = ucfirst($t[0]); $s .= join(" ", @t) . ". "; $s .= "\n" if rand() < 0.2 } print substr($s, 0, 1048576)' ;;
    gb) perl -e 'srand(7); my $s = ""; while (length($s) < 1048576) { for (1 .. 5 + int(rand(36))) {
        if (rand() < 0.1) { $s .= (" ", "abc", "123", ", ")[int(rand(4))] }
        else { $s .= chr(0xB0 + int(rand(0x48))) . chr(0xA1 + int(rand(0x5E))) } } $s .= "\r\n" }
        print substr($s, 0, 1048576)' ;;
    sjis) perl -e 'srand(9); my $s = ""; while (length($s) < 1048576) { for (1 .. 5 + int(rand(36))) { my $r = rand();
        if ($r < 0.1) { $s .= (" ", "abc", "123", ", ")[int(rand(4))] }
        elsif ($r < 0.5) { $s .= chr(0x82) . chr(0x9F + int(rand(0x53))) }
        else { my $t = 0x40 + int(rand(0xBC)); $t++ if $t >= 0x7F; $s .= chr(0x88 + int(rand(0x18))) . chr($t) } }
        $s .= "\r\n" } print substr($s, 0, 1048576)' ;;
    # Whole lines of ideographs, so that no character is cut at the file's end.
    utf8) perl -CO -e 'srand(11); my $s = ""; while (length($s) < 400000) { for (1 .. 5 + int(rand(36))) {
        if (rand() < 0.1) { $s .= (" ", "abc", "123", ", ")[int(rand(4))] }
        else { $s .= chr(0x4E00 + int(rand(0x5000))) } } $s .= "\n" } print $s' ;;
    # The same with one character in ten from the punctuation of Chinese text.
    utf8punct) perl -CO -e 'srand(13); my $s = ""; while (length($s) < 400000) { for (1 .. 5 + int(rand(36))) {
        my $r = rand(); if ($r < 0.1) { $s .= (" ", "abc", "123", ", ")[int(rand(4))] }
        elsif ($r < 0.2) { $s .= (chr(0xFF0C), chr(0x3002), chr(0x3001), chr(0x300C), chr(0x300D))[int(rand(5))] }
        else { $s .= chr(0x4E00 + int(rand(0x5000))) } } $s .= "\n" } print $s' ;;
    # Simplified Chinese punctuation as written: the quotation marks and the
    # ellipsis are narrow characters of three bytes, the comma and the full
    # stops wide ones.
    utf8quotes) perl -CO -e 'srand(17); my $s = ""; while (length($s) < 400000) { for (1 .. 5 + int(rand(36))) {
        my $r = rand(); if ($r < 0.1) { $s .= (" ", "abc", "123", ", ")[int(rand(4))] }
        elsif ($r < 0.2) { $s .= (chr(0xFF0C), chr(0x3002), chr(0x3001), chr(0x201C), chr(0x201D), chr(0x2026))[int(rand(6))] }
        else { $s .= chr(0x4E00 + int(rand(0x5000))) } } $s .= "\n" } print $s' ;;
    # Japanese: kana with ideographs, punctuation and a little ASCII.
    utf8ja) perl -CO -e 'srand(19); my $s = ""; while (length($s) < 400000) { for (1 .. 5 + int(rand(36))) {
        my $r = rand(); if ($r < 0.05) { $s .= (" ", "abc", "123")[int(rand(3))] }
        elsif ($r < 0.12) { $s .= (chr(0x3001), chr(0x3002), chr(0x300C), chr(0x300D), chr(0xFF01), chr(0xFF1F))[int(rand(6))] }
        elsif ($r < 0.45) { $s .= chr(0x4E00 + int(rand(0x5000))) }
        elsif ($r < 0.85) { $s .= chr(0x3041 + int(rand(0x56))) }
        else { $s .= chr(0x30A1 + int(rand(0x5A))) } } $s .= "\n" } print $s' ;;
    esac
}
for kind in ascii gb sjis utf8 utf8punct utf8quotes utf8ja; do
    [ -s $kind.bin ] && continue
    piece $kind > $kind.piece
    # Whole pieces up to 64 MiB: the UTF-8 piece ends at a line's end.
    for ((i = 0; i < 64 * MiB / $(stat -c %s $kind.piece); ++i)); do cat $kind.piece; done > $kind.bin
    rm $kind.piece
done
[ -s random.bin ] || head -c $((64 * MiB)) /dev/urandom > random.bin
[ -s cd.bin ] || head -c $((64 * MiB)) /dev/zero | tr '\000' '\315' > cd.bin
warm ./*.bin
rounds_out=$(mktemp)
trap 'rm -f "$rounds_out"' EXIT
for ((r = 1; r <= rounds; ++r)); do
    for kind in ascii random cd gb sjis utf8 utf8punct utf8quotes utf8ja; do
        for zorbel in "${builds[@]}"; do
            seconds=$(cpu taskset -c 0 "$zorbel" --dump $kind.bin)
            echo "$r $kind $zorbel $seconds $(cut -d' ' -f1 /proc/loadavg)"
        done
    done
done | tee "$rounds_out"
# On standard error, for each build: each kind's median seconds and the
# median and range of its ratio to ASCII in the same round, and the load.
python3 - "$rounds_out" >&2 <<'PY'
import collections, statistics, sys
times = collections.defaultdict(dict)
loads = []
for line in open(sys.argv[1]):
    r, kind, build, seconds, load = line.split()
    times[build, kind][r] = float(seconds)
    loads.append(float(load))
if not loads:
    sys.exit()
print(f"load {min(loads):.2f}-{max(loads):.2f}")
for build in dict.fromkeys(b for b, _ in times):
    print(build)
    ascii = times[build, "ascii"]
    for kind in dict.fromkeys(k for b, k in times if b == build):
        got = times[build, kind]
        ratios = [got[r] / ascii[r] for r in got if ascii.get(r)]
        print(f"  {kind:10} {statistics.median(got.values()):.3f} s  "
              f"{statistics.median(ratios):.2f} x ASCII ({min(ratios):.2f}-{max(ratios):.2f})")
PY
