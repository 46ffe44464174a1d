# Shared by the --dump benchmarks, sourced after `set -eu` with the arguments
# ROUNDS ZORBEL... [-- DIR] and the default DIR in $dir: sets $rounds and
# $builds (full paths), makes DIR and enters it. cpu COMMAND... prints the
# command's processor time (user + system) in seconds, its output dropped.
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

cpu() {
    python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.3f" % (r.ru_utime + r.ru_stime))' "$@"
}
