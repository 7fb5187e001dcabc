#!/usr/bin/env bash
# Builds the SPIR-V reader's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for a short time on seeds compiled
# from the stage sources of the tests. Skips, and says so, without clang, its
# fuzzer runtime or glslangValidator.
# Usage: run_spirv_fuzz.sh [seconds] [build directory]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-30}
build=${2:-$root/build-fuzz}

if ! command -v clang++ >/dev/null 2>&1; then
	echo "SPIR-V reader fuzzing skipped: clang++ is not installed"
	exit 0
fi
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' |
	clang++ -x c++ -fsanitize=fuzzer - -o /dev/null >/dev/null 2>&1; then
	echo "SPIR-V reader fuzzing skipped: clang's libFuzzer runtime is missing (libclang-rt-dev)"
	exit 0
fi

mkdir -p "$build/obj" "$build/seeds" "$build/corpus"
flags=(-std=c++17 -O1 -g -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -I"$root")
sources=("$root"/core/*.cpp "$root"/shader/ShaderSpirv*.cpp)
objects=()
pids=()
for src in "${sources[@]}"; do
	obj="$build/obj/$(basename "$src" .cpp).o"
	objects+=("$obj")
	if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ "$root/shader/ShaderSpirv.h" -nt "$obj" ]; then
		clang++ "${flags[@]}" -c "$src" -o "$obj" &
		pids+=($!)
		if [ ${#pids[@]} -ge "$(nproc 2>/dev/null || echo 2)" ]; then
			wait "${pids[0]}"
			pids=("${pids[@]:1}")
		fi
	fi
done
for pid in "${pids[@]}"; do wait "$pid"; done
clang++ "${flags[@]}" -fsanitize=fuzzer "$root/tests/fuzz/spirv_reader_fuzz.cpp" "${objects[@]}" -lz -o "$build/spirv_reader_fuzz"

if command -v glslangValidator >/dev/null 2>&1; then
	for src in "$root"/tests/data/spirv/stage.*; do
		name=$(basename "$src")
		case "$name" in
			*.task | *.mesh | *.r*) env=vulkan1.2 ;;
			*) env=vulkan1.0 ;;
		esac
		[ -f "$build/seeds/$name.spv" ] || glslangValidator -V --target-env "$env" -o "$build/seeds/$name.spv" "$src" >/dev/null
	done
fi

echo "fuzzing the SPIR-V reader for $seconds s"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$build/spirv_reader_fuzz" \
	-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
	-artifact_prefix="$build/" "$build/corpus" "$build/seeds" 2>&1 | tail -n 25
