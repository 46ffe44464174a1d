#!/usr/bin/env bash
# Runs the speed targets side by side with a peer measured in the same run and
# prints one line per target: Zorbel's figure, the peer's, the ratio and the
# target. Runs are interleaved; each figure is the median with the range of the
# runs in brackets. The files (random bytes, GB text, 0xCD fill) are made in a
# temporary folder that is removed at the end.
#   bench/compare.sh [BUILD]   (BUILD: a Release build folder, default build-release)
# Environment: RUNS (default 3), DISPLAY_NUMBER for the Xvfb server (default 99).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-release}
zorbel=$build/zorbel
bench_view=$build/bench/bench_view
bench_detect=$build/bench/bench_detect
runs=${RUNS:-3}
display=:${DISPLAY_NUMBER:-99}
for program in "$zorbel" "$bench_view" "$bench_detect"; do
    [ -x "$program" ] || { echo "compare.sh: $program is not built (cmake --build $build)" >&2; exit 2; }
done

# Installs the Debian package of a missing peer; false when that cannot be done.
need() {
    local command=$1 package=$2
    command -v "$command" >/dev/null 2>&1 && return 0
    local sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    echo "compare.sh: installing $package for $command" >&2
    if ! $sudo apt-get install -y -q "$package" >/dev/null 2>&1; then
        $sudo apt-get update -q >/dev/null 2>&1
        $sudo apt-get install -y -q "$package" >/dev/null 2>&1
    fi
    command -v "$command" >/dev/null 2>&1
}

tmp=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

MiB=$((1024 * 1024))
# GB text: lines of GB2312 characters with some ASCII, a 1 MiB piece repeated.
make_gb() {
    local size=$1 out=$2
    perl -e 'srand(7); my $s = ""; while (length($s) < 1048576) { for (1 .. 5 + int(rand(36))) {
        if (rand() < 0.1) { $s .= (" ", "abc", "123", ", ")[int(rand(4))] }
        else { $s .= chr(0xB0 + int(rand(0x48))) . chr(0xA1 + int(rand(0x5E))) } } $s .= "\r\n" }
        print substr($s, 0, 1048576)' > "$tmp/gb-piece"
    for ((i = 0; i < size / MiB; ++i)); do cat "$tmp/gb-piece"; done > "$out"
}
make_files() {
    local size=$1 tag=$2
    head -c "$size" /dev/urandom > "$tmp/random-$tag"
    head -c "$size" /dev/zero | tr '\000' '\315' > "$tmp/cd-$tag"
    make_gb "$size" "$tmp/gb-$tag"
}
make_files $((256 * MiB)) 256
make_files $((1024 * MiB)) 1g
cat "$tmp"/* > /dev/null

now() { date +%s%N; }
# Seconds a command takes, its output thrown away.
seconds() {
    local start end
    start=$(now)
    "$@" > /dev/null 2>&1
    end=$(now)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 }'
}
# Median and range of the numbers in a file, one a line: "median [min-max]".
summary() {
    sort -g "$1" | awk '{ v[NR] = $1 } END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.4g [%.4g-%.4g]", m, v[1], v[NR] }'
}
median() { sort -g "$1" | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
line() { printf '%-58s | %-26s | %-26s | %7s | %s\n' "$@"; }

echo "Zorbel $(git -C "$root" rev-parse --short HEAD 2>/dev/null), $(nproc) cores, $runs runs each, $(date -u +%Y-%m-%d)"
line "target" "zorbel" "peer" "ratio" "goal"

# 1. --dump in linear time, streaming.
kinds="cd random gb"
for ((r = 0; r < runs; ++r)); do
    for kind in $kinds; do
        seconds "$zorbel" --dump "$tmp/$kind-256" >> "$tmp/dump-$kind"
        seconds taskset -c 0 "$zorbel" --dump "$tmp/$kind-256" >> "$tmp/dump1-$kind"
        need xxd xxd && seconds taskset -c 0 xxd "$tmp/$kind-256" >> "$tmp/xxd1-$kind"
    done
done
# The kinds by their median, fastest first.
by_speed=$(for kind in $kinds; do echo "$(median "$tmp/dump-$kind") $kind"; done | sort -g | awk '{ print $2 }')
fast=$(echo "$by_speed" | head -1)
slow=$(echo "$by_speed" | tail -1)
line "--dump 256 MiB, slowest / fastest of 0xCD, random, GB (s)" "$slow $(summary "$tmp/dump-$slow")" \
    "$fast $(summary "$tmp/dump-$fast")" "$(ratio "$(median "$tmp/dump-$slow")" "$(median "$tmp/dump-$fast")")" "<= 1.3"
for kind in $kinds; do
    if [ -s "$tmp/xxd1-$kind" ]; then
        line "--dump 256 MiB $kind on one core vs xxd (s)" "$(summary "$tmp/dump1-$kind")" \
            "$(summary "$tmp/xxd1-$kind")" "$(ratio "$(median "$tmp/xxd1-$kind")" "$(median "$tmp/dump1-$kind")")" ">= 4 x"
    else
        line "--dump 256 MiB $kind on one core vs xxd" "skipped: xxd cannot be installed" "" "" ""
    fi
done

# Time to the first line of 1 GiB: until the reader has the first line, not
# until the program has noticed that nobody reads the rest.
first_line() {
    local start end
    start=$(now)
    "$@" 2>/dev/null | { head -n 1 > /dev/null; now > "$tmp/first-end"; }
    end=$(cat "$tmp/first-end")
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 }'
}
# What starting the process costs, for scale: a dump of an empty file.
touch "$tmp/empty"
for ((r = 0; r < runs; ++r)); do
    seconds "$zorbel" --dump "$tmp/empty" >> "$tmp/start"
    seconds xxd "$tmp/empty" >> "$tmp/startxxd"
    for kind in random gb; do
        first_line "$zorbel" --dump "$tmp/$kind-1g" >> "$tmp/first-$kind"
        first_line "$zorbel" --dump --codepage 936 "$tmp/$kind-1g" >> "$tmp/firstcp-$kind"
        first_line xxd "$tmp/$kind-1g" >> "$tmp/firstxxd-$kind"
    done
done
for kind in random gb; do
    line "first line of 1 GiB $kind, code page detected (s)" "$(summary "$tmp/first-$kind")" \
        "$(summary "$tmp/firstxxd-$kind")" "$(ratio "$(median "$tmp/first-$kind")" "$(median "$tmp/firstxxd-$kind")")" \
        "<= 0.020 s"
    line "first line of 1 GiB $kind, --codepage 936 (s)" "$(summary "$tmp/firstcp-$kind")" \
        "$(summary "$tmp/firstxxd-$kind")" "$(ratio "$(median "$tmp/firstcp-$kind")" "$(median "$tmp/firstxxd-$kind")")" \
        "<= 0.020 s"
done

line "start, dump of an empty file and exit (s)" "$(summary "$tmp/start")" "$(summary "$tmp/startxxd")" \
    "$(ratio "$(median "$tmp/start")" "$(median "$tmp/startxxd")")" "(for scale)"

# Peak memory of a dump of 1 GiB, in MiB.
peak() { /usr/bin/time -f %M "$@" 2>&1 > /dev/null | tail -1 | awk '{ printf "%.1f\n", $1 / 1024 }'; }
if [ -x /usr/bin/time ] || need /usr/bin/time time; then
    # xxd streams too; its figure comes from the smaller file, to save time.
    for kind in cd gb; do
        z=$(peak "$zorbel" --dump "$tmp/$kind-1g")
        x=$(peak xxd "$tmp/$kind-256")
        line "peak memory, --dump of 1 GiB $kind vs xxd of 256 MiB (MiB)" "$z" "$x" "$(ratio "$z" "$x")" "< 64 MiB"
    done
fi

# 2. Detection: bench_detect prints "NAME ZORBEL_GBPS PEER_GBPS" per buffer.
for ((r = 0; r < runs; ++r)); do
    "$bench_detect" >> "$tmp/detect"
done
for name in gb random; do
    grep "^$name " "$tmp/detect" | awk '{ print $2 }' > "$tmp/detect-z"
    grep "^$name " "$tmp/detect" | awk '{ print $3 }' > "$tmp/detect-p"
    line "DetectCodePage, 256 MiB $name vs memchr (GB/s)" "$(summary "$tmp/detect-z")" "$(summary "$tmp/detect-p")" \
        "$(ratio "$(median "$tmp/detect-z")" "$(median "$tmp/detect-p")")" ">= 2 GB/s"
done

# 3. Far jumps: bench_view farjump prints "farjump FIRST AFTER_TYPING FIRST_SCREEN" in ms,
# each jump the handling of the key and the repaint after it.
for ((r = 0; r < runs; ++r)); do
    "$bench_view" farjump 2>/dev/null | grep '^farjump ' >> "$tmp/farjump"
done
awk '{ print $2 }' "$tmp/farjump" > "$tmp/far-first"
awk '{ print $3 }' "$tmp/farjump" > "$tmp/far-typed"
awk '{ print $4 }' "$tmp/farjump" > "$tmp/far-screen"
line "first Ctrl+End in 1 GiB of 0xCD vs first screen (ms)" "$(summary "$tmp/far-first")" \
    "$(summary "$tmp/far-screen")" "$(ratio "$(median "$tmp/far-first")" "$(median "$tmp/far-screen")")" "<= 50 ms"
line "Ctrl+End after typing at offset 0 vs first screen (ms)" "$(summary "$tmp/far-typed")" \
    "$(summary "$tmp/far-screen")" "$(ratio "$(median "$tmp/far-typed")" "$(median "$tmp/far-screen")")" "<= 50 ms"

# 4 and 6 drive the programs under Xvfb.
if ! need Xvfb xvfb || ! need xdotool xdotool; then
    line "open and save under Xvfb" "skipped: Xvfb or xdotool cannot be installed" "" "" ""
    exit 0
fi
Xvfb "$display" -screen 0 1280x1024x24 > /dev/null 2>&1 &
xvfb_pid=$!
sleep 1
export DISPLAY=$display
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

# CPU ticks the process has used, its threads included.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null; }
# Waits until a window of the process is shown and the process has used no
# processor time for 300 ms; prints the seconds from start to its last work.
until_idle() {
    local pid=$1 start=$2 last_ticks= last_change quiet=0
    xdotool search --sync --onlyvisible --pid "$pid" > /dev/null 2>&1
    last_change=$(now)
    while [ "$quiet" -lt 6 ]; do
        sleep 0.05
        local t
        t=$(ticks "$pid") || break
        if [ "$t" != "$last_ticks" ]; then
            last_ticks=$t
            last_change=$(now)
            quiet=0
        else
            quiet=$((quiet + 1))
        fi
    done
    awk -v a="$start" -v b="$last_change" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 }'
}
open_seconds() {
    local start pid
    start=$(now)
    "$@" > /dev/null 2>&1 &
    pid=$!
    until_idle "$pid" "$start"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

# 4. Open until the window is painted and the program is idle, against okteta.
if need okteta okteta; then
    for ((r = 0; r < runs; ++r)); do
        for kind in random gb cd; do
            open_seconds "$zorbel" "$tmp/$kind-1g" >> "$tmp/open-$kind"
            open_seconds okteta "$tmp/$kind-1g" >> "$tmp/okteta-$kind"
        done
    done
    for kind in random gb cd; do
        line "open 1 GiB $kind until painted vs okteta (s)" "$(summary "$tmp/open-$kind")" \
            "$(summary "$tmp/okteta-$kind")" "$(ratio "$(median "$tmp/open-$kind")" "$(median "$tmp/okteta-$kind")")" "<= 1 x"
    done
else
    line "open 1 GiB vs okteta" "skipped: okteta cannot be installed" "" "" ""
fi

# 6. Save of a modified 256 MiB file (one byte typed at its start), from Ctrl+S
# until the saved file replaces the old one, against cp and sync of the same
# file. The save writes a new file, has its data reach the disk and renames it
# over the old one, so the rename (a new inode under the name) marks the end;
# waiting for the program to go idle would not, as it sleeps while the data is
# flushed. The keys go through XTEST: Qt ignores keys sent to a window by
# XSendEvent, and without a window manager the window is focused directly.
save_seconds() {
    local file=$1 pid window inode start
    cp "$tmp/random-256" "$file"
    "$zorbel" "$file" > /dev/null 2>&1 &
    pid=$!
    until_idle "$pid" "$(now)" > /dev/null
    window=$(xdotool search --onlyvisible --pid "$pid" | head -1)
    xdotool windowfocus --sync "$window" > /dev/null 2>&1
    xdotool key ctrl+Home
    xdotool type 1
    sleep 0.3
    inode=$(stat -c %i "$file")
    start=$(now)
    xdotool key ctrl+s
    local deadline=$(($(date +%s) + 120))
    while [ "$(stat -c %i "$file" 2>/dev/null)" = "$inode" ] && [ "$(date +%s)" -lt "$deadline" ]; do
        sleep 0.005
    done
    local end
    end=$(now)
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    # A save that did not happen, or saved the bytes unchanged, gives no figure.
    if [ "$(stat -c %i "$file" 2>/dev/null)" = "$inode" ] || cmp -s "$file" "$tmp/random-256"; then
        echo "compare.sh: the save was not seen (no new file with the typed byte)" >&2
        return
    fi
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 }'
}
for ((r = 0; r < runs; ++r)); do
    save_seconds "$tmp/saved" >> "$tmp/save"
    seconds sh -c "cp '$tmp/random-256' '$tmp/copy' && sync" >> "$tmp/cp"
done
if [ -s "$tmp/save" ]; then
    line "save modified 256 MiB vs cp + sync (s)" "$(summary "$tmp/save")" "$(summary "$tmp/cp")" \
        "$(ratio "$(median "$tmp/save")" "$(median "$tmp/cp")")" "<= 1.5 x"
else
    line "save modified 256 MiB vs cp + sync" "skipped: no save was seen" "" "" ""
fi
