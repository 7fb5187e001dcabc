# shellcheck shell=bash
# What every libFuzzer target of the tests needs besides its own seeds: the
# check for clang and its fuzzer runtime, the sanitizer build of the library
# and the fuzzing run. Kept in one place so that the targets cannot drift
# apart in flags or in when an object counts as out of date, and so that
# targets sharing one build directory share correct objects instead of
# overwriting each other's. Sourced by the run_*_fuzz.sh scripts, which set
# `set -euo pipefail` first; a target script only names its sources, its
# seeds and what it fuzzes.

# a folder without sources (shader/*/ may be empty) adds nothing, not its pattern
shopt -s nullglob
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# shellcheck disable=SC2054 # the commas are part of one clang flag
fuzz_flags=(-std=c++17 -O1 -g -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -I"$root")

# fuzz_start LABEL DEFAULT_BUILD [seconds] [build directory]
# Sets `seconds` and `build`. Ends the calling script with success, saying so,
# where fuzzing cannot run: a missing fuzzer is no failure of the project.
fuzz_start() {
	local label=$1
	seconds=${3:-30}
	build=${4:-$2}
	if ! command -v clang++ >/dev/null 2>&1; then
		echo "$label fuzzing skipped: clang++ is not installed"
		exit 0
	fi
	if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' |
		clang++ -x c++ -fsanitize=fuzzer - -o /dev/null >/dev/null 2>&1; then
		echo "$label fuzzing skipped: clang's libFuzzer runtime is missing (libclang-rt-dev)"
		exit 0
	fi
}

# fuzz_build TARGET SOURCES...
# Links $build/TARGET from tests/fuzz/TARGET.cpp and the objects of SOURCES.
# Objects depend only on their source, the headers and the flags, which are the
# same for every target, so all targets share $build/objects; each object
# keeps its source's path there, so equal file names in different folders do
# not collide.
fuzz_build() {
	local target=$1
	shift
	local objdir="$build/objects"
	mkdir -p "$objdir"
	# objects built with other flags are of no use
	if [ ! -f "$objdir/flags" ] || [ "$(cat "$objdir/flags")" != "${fuzz_flags[*]}" ]; then
		find "$objdir" -name '*.o' -delete
		printf '%s\n' "${fuzz_flags[*]}" >"$objdir/flags"
	fi
	# no dependency list is kept, so any header newer than an object dates it
	local newest="" header
	for header in "$root"/core/*.h "$root"/shader/*.h "$root"/shader/*/*.h; do
		if [ -z "$newest" ] || [ "$header" -nt "$newest" ]; then newest=$header; fi
	done
	local src obj limit
	local objects=() pids=()
	limit=$(nproc 2>/dev/null || echo 2)
	for src in "$@"; do
		obj="$objdir/${src#"$root"/}"
		obj="${obj%.cpp}.o"
		objects+=("$obj")
		if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ "$newest" -nt "$obj" ]; then
			mkdir -p "$(dirname "$obj")"
			clang++ "${fuzz_flags[@]}" -c "$src" -o "$obj" &
			pids+=($!)
			if [ ${#pids[@]} -ge "$limit" ]; then
				wait "${pids[0]}"
				pids=("${pids[@]:1}")
			fi
		fi
	done
	for pid in "${pids[@]}"; do wait "$pid"; done
	clang++ "${fuzz_flags[@]}" -fsanitize=fuzzer "$root/tests/fuzz/$target.cpp" "${objects[@]}" -lz -o "$build/$target"
}

# fuzz_run WHAT TARGET MAX_LEN CORPUS SEEDS [libFuzzer options...]
# Runs $build/TARGET for `seconds`, growing CORPUS from SEEDS; crashes are
# kept in $build for reproduction and fail the script.
fuzz_run() {
	local what=$1 target=$2 max_len=$3 corpus=$4 seeds=$5
	shift 5
	echo "fuzzing $what for $seconds s"
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$build/$target" \
		-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" -print_final_stats=1 \
		-artifact_prefix="$build/" "$@" "$corpus" "$seeds" 2>&1 | tail -n 25
}
