#!/usr/bin/env bash
# Runs the speed targets side by side with a peer measured in the same run and
# prints one line per target: Zorbel's figure, the peer's, the ratio, the target
# and the machine's load average (1 minute) while the figure was taken. Runs are
# interleaved; each figure and load is the median with the range of the runs in
# brackets. The files (random bytes, GB text, 0xCD fill) are made in a temporary
# folder that is removed at the end.
#   bench/compare.sh [BUILD]   (BUILD: a Release build folder, default build-release)
# Environment: RUNS (default 5), DISPLAY_NUMBER for the Xvfb server (default 99),
# PARTS (the numbered parts to run, default "1 2 3 4 5 6").
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-release}
zorbel=$build/zorbel
bench_view=$build/bench/bench_view
bench_detect=$build/bench/bench_detect
bench_find=$build/bench/bench_find
runs=${RUNS:-5}
display=:${DISPLAY_NUMBER:-99}
for program in "$zorbel" "$bench_view" "$bench_detect" "$bench_find"; do
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
# The programs start with settings of their own, not the user's (docked panels
# left open, window sizes).
export XDG_CONFIG_HOME=$tmp/config
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
# English-like text: sentences of common words, a capital only at a sentence's
# start, a 1 MiB piece repeated.
make_english() {
    local size=$1 out=$2
    perl -e 'srand(5); my @w = qw(the of and to in a is that for it as was with be by on not he this are or his
        from at which but have an they you were their one all we can her has there been if more when will would
        who so no other then them these two may out time only new some could its into than first people);
        my $s = ""; while (length($s) < 1048576) { my @t = map { $w[int(rand(@w))] } 1 .. 5 + int(rand(15));
        $t[0] = ucfirst($t[0]); $s .= join(" ", @t) . ". "; $s .= "\n" if rand() < 0.2 }
        print substr($s, 0, 1048576)' > "$tmp/english-piece"
    for ((i = 0; i < size / MiB; ++i)); do cat "$tmp/english-piece"; done > "$out"
}
make_files() {
    local size=$1 tag=$2
    head -c "$size" /dev/urandom > "$tmp/random-$tag"
    head -c "$size" /dev/zero | tr '\000' '\315' > "$tmp/cd-$tag"
    make_gb "$size" "$tmp/gb-$tag"
}
make_files $((256 * MiB)) 256
make_files $((1024 * MiB)) 1g
make_english $((256 * MiB)) "$tmp/english-256"
cat "$tmp"/* > /dev/null

# Nanoseconds, without starting a process (bash 5), so that sampling loops stay light.
now() { echo $((${EPOCHREALTIME/./} * 1000)); }
# Seconds a command takes, its output thrown away.
seconds() {
    local start end
    start=$(now)
    "$@" > /dev/null 2>&1
    end=$(now)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 }'
}
# Median and range of the numbers in a file, one a line: "median [min-max]".
# A figure's median and range; "no figure" when no run gave one, and how many
# did when some runs gave none (a set of figures stands for EXPECTED runs,
# $runs unless given; 0 for a set of any length).
summary() {
    [ -s "$1" ] || { echo "no figure"; return; }
    sort -g "$1" | awk -v runs="${2:-$runs}" '{ v[NR] = $1 } END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.4g [%.4g-%.4g]", m, v[1], v[NR]
        if (NR < runs) printf " in %d of %d runs", NR, runs }'
}
median() {
    [ -s "$1" ] || return 0
    sort -g "$1" | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
# A over B; "-" when either is missing or B is 0.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b == 0) print "-"; else printf "%.2f", a / b }'; }
line() { printf '%-58s | %-26s | %-26s | %7s | %-10s | %s\n' "$@"; }
# Notes the load average beside a figure's runs: sample KEY once per run, then
# "$(load KEY)" as the line's last column.
sample() { cut -d' ' -f1 /proc/loadavg >> "$tmp/load-$1"; }
load() { [ -s "$tmp/load-$1" ] && echo "load $(summary "$tmp/load-$1" 0)"; }
# Whether part N is to run: PARTS lists them (default all), e.g. PARTS="3 4".
part() { [[ " ${PARTS:-1 2 3 4 5 6} " == *" $1 "* ]]; }

echo "Zorbel $(git -C "$root" rev-parse --short HEAD 2>/dev/null), $(nproc) cores, $runs runs each, $(date -u +%Y-%m-%d)"
line "target" "zorbel" "peer" "ratio" "goal" "load (1 min)"

if part 1; then
    # 1. --dump in linear time, streaming.
    kinds="cd random gb"
    for ((r = 0; r < runs; ++r)); do
        for kind in $kinds; do
            sample "dump-$kind"
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
        "$fast $(summary "$tmp/dump-$fast")" "$(ratio "$(median "$tmp/dump-$slow")" "$(median "$tmp/dump-$fast")")" "<= 1.3" \
        "$(load "dump-$slow")"
    for kind in $kinds; do
        if [ -s "$tmp/xxd1-$kind" ]; then
            line "--dump 256 MiB $kind on one core vs xxd (s)" "$(summary "$tmp/dump1-$kind")" \
                "$(summary "$tmp/xxd1-$kind")" "$(ratio "$(median "$tmp/xxd1-$kind")" "$(median "$tmp/dump1-$kind")")" ">= 4 x" \
                "$(load "dump-$kind")"
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
        sample first
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
            "<= 0.020 s" "$(load first)"
        line "first line of 1 GiB $kind, --codepage 936 (s)" "$(summary "$tmp/firstcp-$kind")" \
            "$(summary "$tmp/firstxxd-$kind")" "$(ratio "$(median "$tmp/firstcp-$kind")" "$(median "$tmp/firstxxd-$kind")")" \
            "<= 0.020 s" "$(load first)"
    done

    line "start, dump of an empty file and exit (s)" "$(summary "$tmp/start")" "$(summary "$tmp/startxxd")" \
        "$(ratio "$(median "$tmp/start")" "$(median "$tmp/startxxd")")" "(for scale)" "$(load first)"

    # Peak memory of a dump of 1 GiB, in MiB.
    peak() { /usr/bin/time -f %M "$@" 2>&1 > /dev/null | tail -1 | awk '{ printf "%.1f\n", $1 / 1024 }'; }
    if [ -x /usr/bin/time ] || need /usr/bin/time time; then
        # Both stream the same file; peak memory hardly varies between runs.
        for kind in cd gb; do
            sample "peak-$kind"
            z=$(peak "$zorbel" --dump "$tmp/$kind-1g")
            x=$(peak xxd "$tmp/$kind-1g")
            line "peak memory, --dump vs xxd of the same 1 GiB $kind (MiB)" "$z" "$x" "$(ratio "$z" "$x")" "< 64 MiB" \
                "$(load "peak-$kind")"
        done
    fi
fi

if part 2; then
    # 2. Detection: bench_detect prints "NAME ZORBEL_GBPS PEER_GBPS" for the buffers
    # it scans whole, and "random-decision MICROSECONDS" for random bytes, which
    # decide at their start: a throughput over 256 MiB would mean nothing.
    for ((r = 0; r < runs; ++r)); do
        sample detect
        "$bench_detect" >> "$tmp/detect"
    done
    for name in gb ascii; do
        grep "^$name " "$tmp/detect" | awk '{ print $2 }' > "$tmp/detect-z"
        grep "^$name " "$tmp/detect" | awk '{ print $3 }' > "$tmp/detect-p"
        line "DetectCodePage, 256 MiB $name vs memchr (GB/s)" "$(summary "$tmp/detect-z")" "$(summary "$tmp/detect-p")" \
            "$(ratio "$(median "$tmp/detect-z")" "$(median "$tmp/detect-p")")" ">= 2 GB/s" "$(load detect)"
    done
    grep "^random-decision " "$tmp/detect" | awk '{ print $2 }' > "$tmp/decide-us"
    line "DetectCodePage, 256 MiB random: time to decide (us)" "$(summary "$tmp/decide-us")" "" "" "(decision)" \
        "$(load detect)"
fi

if part 5; then
    # 5. Replace All and Find over files in memory, against sed over the same file
    # (its output thrown away) and memmem over the same buffer. bench_find prints
    # "seconds ZORBEL [MEMMEM]".
    bench_seconds() { "$bench_find" "$@" 2>/dev/null | awk '/^seconds / { print $2 }'; }
    for ((r = 0; r < runs; ++r)); do
        sample replace
        bench_seconds replace "$tmp/english-256" "74 68 65" "54 48 45" >> "$tmp/the-off"
        bench_seconds replace "$tmp/english-256" "74 68 65" "54 48 45" matchcase >> "$tmp/the-on"
        seconds env LC_ALL=C sed 's/the/THE/gI' "$tmp/english-256" >> "$tmp/sed-the-off"
        seconds env LC_ALL=C sed 's/the/THE/g' "$tmp/english-256" >> "$tmp/sed-the-on"
        bench_seconds replace "$tmp/cd-256" "CD" "AB" >> "$tmp/cd-ab"
        seconds env LC_ALL=C sed 's/\xCD/\xAB/g' "$tmp/cd-256" >> "$tmp/sed-cd-ab"
        "$bench_find" find "$tmp/cd-1g" "CD CD 00" 2>/dev/null | awk '/^seconds / { print $2 > "'"$tmp/find-cd"'"; print $3 > "'"$tmp/memmem-cd"'" }'
        cat "$tmp/find-cd" >> "$tmp/find-cd-all"
        cat "$tmp/memmem-cd" >> "$tmp/memmem-cd-all"
    done
    line "Replace All the -> THE in 256 MiB text, no Match case vs sed I (s)" "$(summary "$tmp/the-off")" \
        "$(summary "$tmp/sed-the-off")" "$(ratio "$(median "$tmp/the-off")" "$(median "$tmp/sed-the-off")")" "<= 1 x" \
        "$(load replace)"
    line "Replace All the -> THE in 256 MiB text, no Match case vs Match case (s)" "$(summary "$tmp/the-off")" \
        "$(summary "$tmp/the-on")" "$(ratio "$(median "$tmp/the-off")" "$(median "$tmp/the-on")")" "<= 2 x" \
        "$(load replace)"
    line "Replace All the -> THE in 256 MiB text, Match case vs sed (s)" "$(summary "$tmp/the-on")" \
        "$(summary "$tmp/sed-the-on")" "$(ratio "$(median "$tmp/the-on")" "$(median "$tmp/sed-the-on")")" "(for scale)" \
        "$(load replace)"
    line "Replace All CD -> AB in 256 MiB of 0xCD vs sed (s)" "$(summary "$tmp/cd-ab")" "$(summary "$tmp/sed-cd-ab")" \
        "$(ratio "$(median "$tmp/cd-ab")" "$(median "$tmp/sed-cd-ab")")" "<= 3 x" "$(load replace)"
    line "Find CD CD 00 in 1 GiB of 0xCD vs memmem (s)" "$(summary "$tmp/find-cd-all")" "$(summary "$tmp/memmem-cd-all")" \
        "$(ratio "$(median "$tmp/find-cd-all")" "$(median "$tmp/memmem-cd-all")")" "<= 1.1 x" "$(load replace)"
fi

# 3, 4 and 6 drive the programs in real windows under Xvfb.
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
ticks() {
    local f
    read -r -a f < "/proc/$1/stat" 2>/dev/null || return 1
    echo $((f[13] + f[14]))
}
# last_work PROBE INTERVAL QUIET START FIRST_CHANGE TICKS: runs PROBE (a command
# printing ticks) every INTERVAL seconds until its figure has stayed the same for
# QUIET samples in a row; prints the seconds from START to the last sample that
# saw a change (FIRST_CHANGE if none did; TICKS: the figure before, or empty).
last_work() {
    local probe=$1 interval=$2 quiet_for=$3 start=$4 last_change=$5 last_ticks=$6 quiet=0 t
    while [ "$quiet" -lt "$quiet_for" ]; do
        sleep "$interval"
        t=$($probe) || break
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
# Waits until a window of the process is shown and the process has used no
# processor time for 300 ms; prints the seconds from start to its last work.
# Waits until a window of the process is mapped, asking every 10 ms
# (xdotool's own --sync asks every half second, which would floor every figure
# at 0.5 s); false if the process ends first.
until_visible() {
    local pid=$1
    until xdotool search --onlyvisible --pid "$pid" > /dev/null 2>&1; do
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.01
    done
}
until_idle() {
    local pid=$1 start=$2
    until_visible "$pid"
    last_work "ticks $pid" 0.05 6 "$start" "$(now)" ""
}
# Seconds from the start of a program until its window is mapped: okteta reads
# the whole file before it maps its window, so this is when its first screen
# can show, or a little before.
visible_seconds() {
    local start pid
    start=$(now)
    "$@" > /dev/null 2>&1 &
    pid=$!
    until_visible "$pid" && awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 }'
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}
# Seconds from time of day A to time of day B (HH:MM:SS.fraction), across midnight.
seconds_between() {
    awk -v a="$1" -v b="$2" 'function s(t, f) { split(t, f, ":"); return f[1] * 3600 + f[2] * 60 + f[3] }
        BEGIN { d = s(b) - s(a); if (d < 0) d += 86400; printf "%.4f\n", d }'
}
# Zorbel says which rows it painted, and when, under these rules.
paint_log=(QT_LOGGING_RULES="zorbel.paint.debug=true" QT_MESSAGE_PATTERN="%{time HH:mm:ss.zzz} %{message}")
# Seconds from Zorbel's start until its first rows are painted, by the time of
# day it gives the line ("HH:MM:SS.mmm ... rows FIRST-LAST painted"): a shell
# reading lines from a pipe on a busy machine would add delays of its own.
first_rows_seconds() {
    local start pid line
    start=$(date +%H:%M:%S.%N)
    exec {rows}< <(env "${paint_log[@]}" "$zorbel" "$1" 2>&1 > /dev/null &
        echo "pid $!"
        wait)
    read -r _ pid <&"$rows"
    while read -r line <&"$rows"; do
        if [[ $line =~ ^([0-9:.]+)\ .*\ painted ]]; then
            seconds_between "$start" "${BASH_REMATCH[1]}"
            # PEAK_TO: a file to add the window's peak resident memory to, in MiB.
            [ -n "${PEAK_TO:-}" ] && awk '/^VmHWM:/ { printf "%.1f\n", $2 / 1024 }' "/proc/$pid/status" >> "$PEAK_TO"
            break
        fi
    done
    kill "$pid" 2>/dev/null
    exec {rows}<&-
}

if part 3; then
    # 3. Far jumps in the real window: Ctrl+End, then Go To the middle, in 1 GiB of
    # 0xCD, against okteta and ghex. Each figure runs from the key that ends the
    # command (Ctrl+End, or Return in the Go To field) until neither the program nor
    # the X server has used processor time for 100 ms: the handling, the repaint and
    # its display. The kernel counts processor time in 10 ms ticks and it is sampled
    # every 5 ms, so a figure is good to about 15 ms. Each program's own keys: Zorbel
    # and okteta Ctrl+G and a hexadecimal offset; ghex Ctrl+J, the offset with 0x
    # so that it is read as hexadecimal, and its Jump button, reached by Tab: Return
    # in ghex's offset field does nothing, so a Return there would time a key that
    # moves nowhere.
    ticks_with_server() { echo $(($(ticks "$1") + $(ticks "$xvfb_pid"))); }
    # Sends the key, then waits for quiet; prints the seconds from the key to the
    # last sample that saw work.
    respond() {
        local pid=$1 probe=ticks_with_server before start
        shift
        before=$($probe "$pid")
        start=$(now)
        xdotool key "$@"
        # No work seen at all (the key went astray) gives no figure.
        last_work "$probe $pid" 0.005 20 "$start" "$start" "$before" | awk '$1 > 0 { printf "%.1f\n", $1 * 1000 }'
    }
    # far_jumps SET NAME FILE GOTO_KEY OFFSET CONFIRM_KEY COMMAND...: opens FILE,
    # then times Ctrl+End and Go To (GOTO_KEY, OFFSET typed, CONFIRM_KEY, if not
    # empty, before the timed Return), appending milliseconds to SET-end-NAME and
    # SET-goto-NAME.
    far_jumps() {
        local set=$1 name=$2 file=$3 goto=$4 offset=$5 confirm=$6 pid window
        shift 6
        "$@" "$file" > /dev/null 2>&1 &
        pid=$!
        until_idle "$pid" "$(now)" > /dev/null
        window=$(xdotool search --onlyvisible --pid "$pid" | head -1)
        if [ -n "$window" ]; then
            xdotool windowfocus --sync "$window" > /dev/null 2>&1
            sleep 0.3
            respond "$pid" ctrl+End >> "$tmp/$set-end-$name"
            xdotool key ctrl+Home
            sleep 0.3
            xdotool key "$goto"
            sleep 0.5
            xdotool type "$offset"
            [ -n "$confirm" ] && xdotool key "$confirm"
            sleep 0.3
            respond "$pid" Return >> "$tmp/$set-goto-$name"
        fi
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    }
    peers=()
    need okteta okteta && peers+=(okteta)
    need ghex ghex && peers+=(ghex)
    for ((r = 0; r < runs; ++r)); do
        sample far
        far_jumps far zorbel "$tmp/cd-1g" ctrl+g 20000000 "" "$zorbel"
        for peer in "${peers[@]}"; do
            case $peer in
            okteta) far_jumps far okteta "$tmp/cd-1g" ctrl+g 20000000 "" okteta ;;
            ghex) far_jumps far ghex "$tmp/cd-1g" ctrl+j 0x20000000 Tab ghex ;;
            esac
        done
    done
    for what in end goto; do
        [ "$what" = end ] && title="Ctrl+End" || title="Go To 0x20000000"
        if [ ${#peers[@]} -eq 0 ]; then
            line "$title in 1 GiB of 0xCD, real window (ms)" "$(summary "$tmp/far-$what-zorbel")" \
                "no peer could be installed" "" "<= 50 ms" "$(load far)"
        fi
        for peer in "${peers[@]}"; do
            if [ -s "$tmp/far-$what-$peer" ]; then
                line "$title in 1 GiB of 0xCD, real window vs $peer (ms)" "$(summary "$tmp/far-$what-zorbel")" \
                    "$(summary "$tmp/far-$what-$peer")" \
                    "$(ratio "$(median "$tmp/far-$what-zorbel")" "$(median "$tmp/far-$what-$peer")")" "<= 50 ms" "$(load far)"
            else
                line "$title in 1 GiB of 0xCD vs $peer" "$(summary "$tmp/far-$what-zorbel")" "skipped: no window seen" "" \
                    "<= 50 ms" "$(load far)"
            fi
        done
    done

    # 3b. The same in a sparse file of 64 GiB, which the peers do not open: Ctrl+End
    # and Go To F00000000, against the same in a file of 1 MiB (Go To 80000), with
    # the code-page guess still reading the file and stopped by Esc first. Each
    # figure runs from the key until Zorbel says it has painted the rows the jump
    # shows (its logging rules, as in part 4): the guess's progress in the status
    # bar is painted by the same thread, but is not the jump's repaint.
    # key_until_rows FD FIRST LAST KEY: sends KEY and prints the milliseconds until
    # a paint of rows from at most FIRST to at least LAST is said on FD.
    key_until_rows() {
        local fd=$1 first=$2 last=$3 start line
        shift 3
        while read -r -t 0.05 line <&"$fd"; do :; done
        start=$(date +%H:%M:%S.%N)
        xdotool key "$@"
        while read -r -t 5 line <&"$fd"; do
            if [[ $line =~ ^([0-9:.]+)\ .*rows\ ([0-9]+)-([0-9]+)\ painted ]] \
                && ((BASH_REMATCH[2] <= first && BASH_REMATCH[3] >= last)); then
                seconds_between "$start" "${BASH_REMATCH[1]}" | awk '{ printf "%.1f\n", $1 * 1000 }'
                return
            fi
        done
    }
    # far_rows NAME FILE OFFSET ROW LAST_ROW: Ctrl+End (a paint reaching LAST_ROW)
    # and Go To OFFSET (a paint showing ROW), appended to far64-end-NAME and
    # far64-goto-NAME.
    far_rows() {
        local name=$1 file=$2 offset=$3 row=$4 last_row=$5 fd pid window
        exec {fd}< <(env "${paint_log[@]}" "$zorbel" "$file" 2>&1 > /dev/null &
            echo "pid $!"
            wait)
        read -r _ pid <&"$fd"
        if until_visible "$pid"; then
            window=$(xdotool search --onlyvisible --pid "$pid" | head -1)
            xdotool windowfocus --sync "$window" > /dev/null 2>&1
            # FIRST_KEY: a key pressed before the timed ones (Escape: the guess
            # stops), once the guess's progress shows: Esc stops the guess shown.
            [ -n "${FIRST_KEY:-}" ] && sleep 0.3 && xdotool key "$FIRST_KEY"
            sleep 0.3
            key_until_rows "$fd" "$last_row" "$last_row" ctrl+End >> "$tmp/far64-end-$name"
            xdotool key ctrl+Home
            sleep 0.3
            xdotool key ctrl+g
            sleep 0.5
            xdotool type "$offset"
            sleep 0.3
            key_until_rows "$fd" "$row" "$row" Return >> "$tmp/far64-goto-$name"
        fi
        kill "$pid" 2>/dev/null
        exec {fd}<&-
    }
    # Zorbel's jumps in 1 GiB of 0xCD again, timed to its own word that it
    # painted the rows: the figures above come from processor ticks of 10 ms,
    # and a jump that takes less than a tick in both Zorbel and the X server
    # shows no work there, so gives no figure.
    for ((r = 0; r < runs; ++r)); do
        sample far1g
        far_rows cd1g "$tmp/cd-1g" 20000000 $((0x20000000 / 16)) $((1024 * MiB / 16 - 1))
    done
    line "Ctrl+End in 1 GiB of 0xCD, Zorbel until its rows are painted (ms)" "$(summary "$tmp/far64-end-cd1g")" "" "" \
        "<= 50 ms" "$(load far1g)"
    line "Go To 0x20000000 in 1 GiB of 0xCD, Zorbel until its rows are painted (ms)" \
        "$(summary "$tmp/far64-goto-cd1g")" "" "" "<= 50 ms" "$(load far1g)"

    if truncate -s 64G "$tmp/sparse-64g" 2>/dev/null; then
        head -c $MiB /dev/zero > "$tmp/small-1m"
        for ((r = 0; r < runs; ++r)); do
            sample far64
            far_rows big "$tmp/sparse-64g" F00000000 $((0xF00000000 / 16)) $((64 * 1024 * MiB / 16 - 1))
            FIRST_KEY=Escape far_rows stopped "$tmp/sparse-64g" F00000000 $((0xF00000000 / 16)) \
                $((64 * 1024 * MiB / 16 - 1))
            far_rows small "$tmp/small-1m" 80000 $((0x80000 / 16)) $((MiB / 16 - 1))
        done
        for what in end goto; do
            [ "$what" = end ] && title="Ctrl+End" || title="Go To F00000000 (80000 in 1 MiB)"
            for name in big stopped; do
                [ "$name" = big ] && how="guess running" || how="guess stopped"
                line "$title in 64 GiB sparse, $how, vs 1 MiB (ms)" "$(summary "$tmp/far64-$what-$name")" \
                    "$(summary "$tmp/far64-$what-small")" \
                    "$(ratio "$(median "$tmp/far64-$what-$name")" "$(median "$tmp/far64-$what-small")")" "<= 50 ms" \
                    "$(load far64)"
            done
        done
        rm -f "$tmp/sparse-64g"
    else
        line "far jumps in 64 GiB" "skipped: no sparse file of 64 GiB here" "" "" ""
    fi
fi

if part 4; then
    # 4. Open until the first screen is painted: Zorbel until its first rows,
    # okteta until its window is mapped (after it has read the file). The
    # 64 GiB sparse file and 1 KiB, Zorbel alone, for the same time whatever
    # the length, with the peak resident memory of the 64 GiB run.
    sparse=
    truncate -s 64G "$tmp/sparse-64g" 2>/dev/null && sparse=$tmp/sparse-64g
    head -c 1024 "$tmp/random-1g" > "$tmp/random-1k"
    if need okteta okteta; then
        for ((r = 0; r < runs; ++r)); do
            sample open
            for kind in random gb cd; do
                first_rows_seconds "$tmp/$kind-1g" >> "$tmp/open-$kind"
                visible_seconds okteta "$tmp/$kind-1g" >> "$tmp/okteta-$kind"
            done
            first_rows_seconds "$tmp/random-1k" >> "$tmp/open-1k"
            visible_seconds okteta "$tmp/random-1k" >> "$tmp/okteta-1k"
            [ -n "$sparse" ] && PEAK_TO=$tmp/peak-64g first_rows_seconds "$sparse" >> "$tmp/open-64g"
        done
        for kind in random gb cd; do
            line "open 1 GiB $kind, first screen vs okteta (s)" "$(summary "$tmp/open-$kind")" \
                "$(summary "$tmp/okteta-$kind")" "$(ratio "$(median "$tmp/open-$kind")" "$(median "$tmp/okteta-$kind")")" \
                "<= 0.1 x" "$(load open)"
        done
        line "open 1 KiB, first screen vs okteta (s)" "$(summary "$tmp/open-1k")" "$(summary "$tmp/okteta-1k")" \
            "$(ratio "$(median "$tmp/open-1k")" "$(median "$tmp/okteta-1k")")" "(for scale)" "$(load open)"
        if [ -n "$sparse" ]; then
            line "open 64 GiB sparse vs 1 KiB, first screen, Zorbel (s)" "$(summary "$tmp/open-64g")" \
                "$(summary "$tmp/open-1k")" "$(ratio "$(median "$tmp/open-64g")" "$(median "$tmp/open-1k")")" \
                "<= 2 x" "$(load open)"
            line "open 64 GiB sparse, peak resident memory (MiB)" "$(summary "$tmp/peak-64g")" "" "" "< 200" \
                "$(load open)"
        fi
    else
        line "open 1 GiB vs okteta" "skipped: okteta cannot be installed" "" "" ""
    fi
    rm -f "$tmp/sparse-64g"
fi

if part 6; then
    # 6. Save of a modified 256 MiB file (one byte typed at its start), from Ctrl+S
    # until the saved file replaces the old one, against cp of the same file and
    # an fsync of the copy alone (sync FILE): a plain sync would wait for every
    # write pending on the machine, which on a busy machine slows the peer. The save writes a new file, has its data reach the disk and renames it
    # over the old one, so the rename (a new inode under the name) marks the end;
    # waiting for the program to go idle would not, as it sleeps while the data is
    # flushed. The keys go through XTEST: Qt ignores keys sent to a window by
    # XSendEvent, and without a window manager the window is focused directly.
    save_seconds() {
        local file=$1 pid window inode start
        cp "$tmp/random-256" "$file"
        # The copy's own writes are flushed before the program opens it: left
        # pending, the disk would write them back during the timed save.
        sync "$file"
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
        sample save
        save_seconds "$tmp/saved" >> "$tmp/save"
        rm -f "$tmp/copy"
        seconds sh -c "cp '$tmp/random-256' '$tmp/copy' && sync '$tmp/copy'" >> "$tmp/cp"
    done
    if [ -s "$tmp/save" ]; then
        line "save modified 256 MiB vs cp + fsync of the copy (s)" "$(summary "$tmp/save")" "$(summary "$tmp/cp")" \
            "$(ratio "$(median "$tmp/save")" "$(median "$tmp/cp")")" "<= 1.5 x" "$(load save)"
    else
        line "save modified 256 MiB vs cp + fsync of the copy" "skipped: no save was seen" "" "" "" "$(load save)"
    fi
fi
