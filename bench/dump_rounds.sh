# Shared by the --dump benchmarks, sourced after `set -eu` with the arguments
# ROUNDS ZORBEL... [-- DIR] and the default DIR in $dir: sets $rounds and
# $builds (full paths), makes DIR and enters it. cpu COMMAND... prints the
# command's processor time (user + system) in seconds, its output dropped.
set -o pipefail
rounds=${1:?usage: $(basename "$0") ROUNDS ZORBEL... [-- DIR]}
shift
builds=()
while [ $# -gt 0 ]; do
    if [ "$1" = -- ]; then dir=$2; break; fi
    builds+=("$(realpath "$1")")
    shift
done
mkdir -p "$dir"
cd "$dir"

# bash's times gives the children's user and system time to the millisecond. A
# Python wrapper (getrusage of its child) was used before and counted about
# 60 ms more than the command used (63 ms for `true`), which flattered every
# ratio to ASCII and understated its speed.
# A command that fails stops the benchmark: its time would be that of the
# failure, a figure that looks like a fast run.
cpu() {
    local out
    out=$(bash -c '"$@" > /dev/null || exit; times' _ "$@") || {
        echo "$(basename "$0"): failed: $*" >&2
        return 1
    }
    tail -n 1 <<< "$out" |
        awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%.3f\n", u[1] * 60 + u[2] + s[1] * 60 + s[2] }'
}

# Reads FILE... into the page cache afresh: their cached pages dropped, then
# read in order. How the kernel holds a file's pages (the size of the pieces
# the cache keeps them in) depends on how they were read in, and copying them
# out costs by it: on an Intel Xeon --dump of 64 MiB of ASCII took 0.060 s
# after the file had been read back piecemeal and 0.052 s after a fresh
# read, where GB took 0.083 and 0.080 s, so the ratios to ASCII moved by a
# tenth with it.
warm() {
    local file
    for file in "$@"; do
        dd if="$file" iflag=nocache count=0 status=none
        cat "$file" > /dev/null
    done
}
