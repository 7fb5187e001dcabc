#!/usr/bin/env bash
# Speed of the decompiled listing and of the GLSL backend against an
# independent cross-compiler: renders every module of bench/listing_modules.txt
# with `shader -d` and spirv-cross to Vulkan GLSL, and with `shader -glsl` and
# spirv-cross to GL 4.50 GLSL (--version 450), all in the same run, one whole
# process per module and tool, and prints the times and their ratios. The
# GLSL ratio is given over all modules and over those both tools render (a
# module that -glsl refuses fails early, which is no speed of rendering).
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

declare -a ours theirs ours_glsl theirs_glsl rendered_glsl
modules=()
while read -r path; do
	[ -n "$path" ] && modules+=("$path")
done < "$list"

failed=0
for ((round = 0; round < rounds; round++)); do
	for i in "${!modules[@]}"; do
		file=$corpus/${modules[$i]}
		t0=${EPOCHREALTIME/[.,]/}
		"$shader" -f "$file" -d >/dev/null 2>&1 || failed=$((failed + 1))
		t1=${EPOCHREALTIME/[.,]/}
		spirv-cross --vulkan-semantics "$file" >/dev/null 2>&1 || true
		t2=${EPOCHREALTIME/[.,]/}
		ok=1
		"$shader" -f "$file" -glsl >/dev/null 2>&1 || ok=0
		t3=${EPOCHREALTIME/[.,]/}
		spirv-cross --version 450 "$file" >/dev/null 2>&1 || ok=0
		t4=${EPOCHREALTIME/[.,]/}
		rendered_glsl[$i]=$ok
		# the fastest of the rounds stands for each module
		a=$((t1 - t0))
		b=$((t2 - t1))
		c=$((t3 - t2))
		d=$((t4 - t3))
		if [ "$round" -eq 0 ] || [ "$a" -lt "${ours[$i]}" ]; then ours[$i]=$a; fi
		if [ "$round" -eq 0 ] || [ "$b" -lt "${theirs[$i]}" ]; then theirs[$i]=$b; fi
		if [ "$round" -eq 0 ] || [ "$c" -lt "${ours_glsl[$i]}" ]; then ours_glsl[$i]=$c; fi
		if [ "$round" -eq 0 ] || [ "$d" -lt "${theirs_glsl[$i]}" ]; then theirs_glsl[$i]=$d; fi
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

# report LABEL OURS THEIRS [INDICES]: the totals of two arrays (of the modules
# given, or all), their per-process median ratio and the ratio of the totals
report() {
	local label=$1
	local -n mine=$2 other=$3
	local indices=("${!mine[@]}")
	[ $# -gt 3 ] && read -r -a indices <<< "$4"
	local total_ours=0 total_theirs=0 ratios=() i
	for i in "${indices[@]}"; do
		total_ours=$((total_ours + mine[$i]))
		total_theirs=$((total_theirs + other[$i]))
		ratios+=("$(awk -v a="${mine[$i]}" -v b="${other[$i]}" 'BEGIN { printf "%.4f", (a > 0) ? b / a : 0 }')")
	done
	local count=${#indices[@]}
	[ "$count" -gt 0 ] || { echo "$label: no modules"; return; }
	local median
	median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
	awk -v a="$total_ours" -v b="$total_theirs" -v n="$count" -v m="$median" -v z="$base" -v l="$label" 'BEGIN {
		printf "%s, %d modules:\n", l, n
		printf "  shader:       %8.1f ms total, %6.2f ms per process\n", a / 1000, a / 1000 / n
		printf "  spirv-cross:  %8.1f ms total, %6.2f ms per process\n", b / 1000, b / 1000 / n
		printf "  ratio spirv-cross / shader: %.2f per process (median), %.2f of the total\n", m, b / a
		if (a > n * z && b > n * z) printf "  without starting a process (%.2f ms), the ratio of the total is %.2f\n", z / 1000, (b - n * z) / (a - n * z)
		else printf "  starting a process (%.2f ms) took longer than a rendering here: a busy machine, no ratio without it\n", z / 1000
	}'
}

both=""
for i in "${!modules[@]}"; do
	[ "${rendered_glsl[$i]}" -eq 1 ] && both+="$i "
done

count=${#modules[@]}
echo "modules: $count (best of $rounds rounds), listings that failed: $((failed / rounds)), rendered to GLSL by both: $(wc -w <<< "$both")"
report "shader -d against spirv-cross --vulkan-semantics" ours theirs
report "shader -glsl against spirv-cross --version 450, all modules" ours_glsl theirs_glsl
report "shader -glsl against spirv-cross --version 450, modules both render" ours_glsl theirs_glsl "$both"
