#!/usr/bin/env bash
# Speed of the decompiled listing against an independent decompiler: renders
# every module of bench/listing_modules.txt with `shader -d` and, in the same
# run, with spirv-cross to GLSL, one whole process per module and tool, and
# prints the time of both and their ratios.
#
# usage: bench/listing_bench.sh [shader program] [corpus directory] [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shader=${1:-$root/build/shader}
corpus=${2:-${VEXA_CORPUS:-$root/../shared/corpus}}
rounds=${3:-3}
list=$root/bench/listing_modules.txt

command -v spirv-cross >/dev/null || { echo "spirv-cross is not installed" >&2; exit 1; }
[ -x "$shader" ] || { echo "no program at $shader (build it first)" >&2; exit 1; }
[ -d "$corpus" ] || { echo "no corpus at $corpus" >&2; exit 1; }

# times are microseconds from EPOCHREALTIME (bash 5), so that taking them
# starts no process
[ -n "${EPOCHREALTIME:-}" ] || { echo "bash 5 or later is needed" >&2; exit 1; }

declare -a ours theirs
modules=()
while read -r path; do
	[ -n "$path" ] && modules+=("$path")
done < "$list"

total_ours=0
total_theirs=0
failed=0
for ((round = 0; round < rounds; round++)); do
	for i in "${!modules[@]}"; do
		file=$corpus/${modules[$i]}
		t0=${EPOCHREALTIME/[.,]/}
		"$shader" -f "$file" -d >/dev/null 2>&1 || failed=$((failed + 1))
		t1=${EPOCHREALTIME/[.,]/}
		spirv-cross --vulkan-semantics "$file" >/dev/null 2>&1 || true
		t2=${EPOCHREALTIME/[.,]/}
		# the fastest of the rounds stands for each module
		a=$((t1 - t0))
		b=$((t2 - t1))
		if [ "$round" -eq 0 ] || [ "$a" -lt "${ours[$i]}" ]; then ours[$i]=$a; fi
		if [ "$round" -eq 0 ] || [ "$b" -lt "${theirs[$i]}" ]; then theirs[$i]=$b; fi
	done
done

# what starting any process costs here, so that the rendering work can be told apart
base=0
for ((i = 0; i < 50; i++)); do
	t0=${EPOCHREALTIME/[.,]/}
	/bin/true
	t1=${EPOCHREALTIME/[.,]/}
	if [ "$i" -eq 0 ] || [ $((t1 - t0)) -lt "$base" ]; then base=$((t1 - t0)); fi
done

ratios=()
for i in "${!modules[@]}"; do
	total_ours=$((total_ours + ours[$i]))
	total_theirs=$((total_theirs + theirs[$i]))
	ratios+=("$(awk -v a="${ours[$i]}" -v b="${theirs[$i]}" 'BEGIN { printf "%.4f", (a > 0) ? b / a : 0 }')")
done
median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')

count=${#modules[@]}
echo "modules: $count (best of $rounds rounds), listings that failed: $((failed / rounds))"
awk -v a="$total_ours" -v b="$total_theirs" -v n="$count" -v m="$median" -v z="$base" 'BEGIN {
	printf "shader -d:    %8.1f ms total, %6.2f ms per process\n", a / 1000, a / 1000 / n
	printf "spirv-cross:  %8.1f ms total, %6.2f ms per process\n", b / 1000, b / 1000 / n
	printf "ratio spirv-cross / shader: %.2f per process (median), %.2f of the total\n", m, b / a
	printf "starting a process (/bin/true): %.2f ms; without it, the ratio of the total is %.2f\n", z / 1000, (b - n * z) / (a - n * z)
}'
