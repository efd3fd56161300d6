#!/bin/bash
# dorvanta-render as users run it: whole processes under hyperfine, the files in /dev/shm, the runs
# of every comparison in the same hyperfine call. The rows of `make bench` case 12, for a closer
# look and for comparing two builds.
#
#   bench/whole_process.sh [RENDER [OTHER_RENDER]]   # default: build/src/dorvanta-render
#   LOADED=1 bench/whole_process.sh ...               # a busy loop holds one core meanwhile
#   RUNS=40 bench/whole_process.sh ...                # runs per command (default 20)
#
# With OTHER_RENDER (a build of an older commit, say) every comparison runs both programs.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
render=$(realpath "${1:-$here/build/src/dorvanta-render}")
programs=("$render")
[ $# -ge 2 ] && programs+=("$(realpath "$2")")
dir=$(mktemp -d "$( [ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/dorvanta-whole-XXXXXX")
busy=
cleanup() {
    if [ -n "$busy" ]; then kill "$busy" 2>/dev/null || true; fi
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM
cd "$dir"

"$render" --save-dat default.dat --stats >/dev/null
sed 's/^Centre View: .*/Centre View: x = -300.00000  y = 150.00000  Exp Magn = -9.00000/' \
    default.dat >zoomed-out.dat

if [ "${LOADED:-0}" = 1 ]; then
    bash -c 'while :; do :; done' &
    busy=$!
fi

# One hyperfine call over the given runs (arguments of dorvanta-render), for every program.
compare() {
    local commands=()
    for program in "${programs[@]}"; do
        for run in "$@"; do commands+=("$program $run"); done
    done
    hyperfine -N -w 5 -m "${RUNS:-20}" "${commands[@]}"
}

# The default thread count against one thread.
threads() {
    compare "--threads 1 $1" "$1"
}

threads "default.dat -o t.bmp"
threads "default.dat --size 3840x2160 -o t.bmp"
threads "zoomed-out.dat --size 2400x1800 -o t.bmp"
threads "zoomed-out.dat --size 3840x2160 -o t.bmp"
compare "--version" "--size 2x2 -o tiny.bmp" "--thumbnail 256 default.dat -o thumb.png"
compare "default.dat -o c.bmp" "default.dat -o c.png"
RUNS=${POSTER_RUNS:-3} compare "--size 12000x9000 -o poster.bmp --quiet" \
    "--size 12000x9000 -o poster.png --quiet"
