#!/usr/bin/env bash
# The program on real files against oiiotool's plain copy of them: an 8-frame 1920x1080 zip EXR
# sequence made from the demo scene, timed in alternating pairs (umbrix, then oiiotool, RUNS
# times), and the peak resident memory of one frame and of the sequence above that of
# `umbrix --version`, against the decoded frame's size.
#   bench/files.sh [BIN_FOLDER]      RUNS=5 THREADS=2 by default
set -euo pipefail
bin=${1:-build/release/bin}
runs=${RUNS:-5}
threads=${THREADS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin/umbrix" demo --size 1920x1080 -o "$work/demo" -q
for frame in 1 2 3 4 5 6 7 8; do
    cp "$work/demo/demo.exr" "$work/in.000$frame.exr"
done

umbrixSequence=("$bin/umbrix" render "$work/in.#.exr" -o "$work/u.#.exr" --frames 1-8
                --set UseSSAO=1 --threads "$threads" -q)
oiioSequence=(oiiotool --threads "$threads" --frames 1-8 "$work/in.#.exr" -o "$work/o.#.exr")
umbrixFrame=("$bin/umbrix" render "$work/in.0001.exr" -o "$work/u.exr" --set UseSSAO=1
             --threads "$threads" -q)
oiioFrame=(oiiotool --threads "$threads" "$work/in.0001.exr" -o "$work/o.exr")

seconds() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000000 ))"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Prints "NAME: umbrix MS, oiiotool MS, ratio R" with medians over the pairs.
pairs() {
    local name=$1 a b
    shift
    local -n first=$1 second=$2
    : >"$work/a" && : >"$work/b" && : >"$work/r"
    "${first[@]}" >/dev/null 2>&1 && "${second[@]}" >/dev/null 2>&1 # warm the caches
    for _ in $(seq "$runs"); do
        a=$(seconds "${first[@]}")
        b=$(seconds "${second[@]}")
        echo "$a" >>"$work/a" && echo "$b" >>"$work/b"
        awk -v a="$a" -v b="$b" 'BEGIN { print a / b }' >>"$work/r"
    done
    printf '%-9s umbrix %6s ms   oiiotool %6s ms   ratio %.2f (min %.2f, max %.2f)\n' "$name" \
        "$(median <"$work/a")" "$(median <"$work/b")" "$(median <"$work/r")" \
        "$(sort -g "$work/r" | head -1)" "$(sort -g "$work/r" | tail -1)"
}

peakKiB() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

echo "umbrix render vs oiiotool copy, $threads threads, median of $runs alternating pairs:"
pairs "sequence" umbrixSequence oiioSequence
pairs "frame" umbrixFrame oiioFrame

channels=$(oiiotool --info "$work/in.0001.exr" | sed -E 's/.* ([0-9]+) channel.*/\1/')
decoded=$((1920 * 1080 * channels * 4 / 1024))
base=$(peakKiB "$bin/umbrix" --version)
frame=$(peakKiB "${umbrixFrame[@]}")
sequence=$(peakKiB "${umbrixSequence[@]}")
echo "peak resident memory above umbrix --version (${base} KiB), decoded frame ${decoded} KiB:"
awk -v f="$frame" -v s="$sequence" -v b="$base" -v d="$decoded" 'BEGIN {
    printf "frame     %7d KiB  %.2fx the decoded frame\n", f - b, (f - b) / d
    printf "sequence  %7d KiB  %.2fx the decoded frame\n", s - b, (s - b) / d
}'
