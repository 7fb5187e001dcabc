#!/usr/bin/env bash
# Builds the decompiled listing's libFuzzer target with clang (AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs it for a short time on seeds made
# from the shader and assembly fixtures of the tests. Skips, and says so,
# without clang or its fuzzer runtime.
# Usage: run_listing_fuzz.sh [seconds] [build directory]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-30}
build=${2:-$root/build-fuzz-listing}

if ! command -v clang++ >/dev/null 2>&1; then
	echo "listing fuzzing skipped: clang++ is not installed"
	exit 0
fi
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' |
	clang++ -x c++ -fsanitize=fuzzer - -o /dev/null >/dev/null 2>&1; then
	echo "listing fuzzing skipped: clang's libFuzzer runtime is missing (libclang-rt-dev)"
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
clang++ "${flags[@]}" -fsanitize=fuzzer "$root/tests/fuzz/spirv_listing_fuzz.cpp" "${objects[@]}" -lz -o "$build/spirv_listing_fuzz"

if command -v glslangValidator >/dev/null 2>&1; then
	for src in "$root"/tests/data/spirv/stage.* "$root"/tests/data/shaders/listing_*; do
		name=$(basename "$src")
		case "$name" in
			*.task | *.mesh | *.r*) env=spirv1.4 ;;
			*) env=vulkan1.0 ;;
		esac
		[ -f "$build/seeds/$name.spv" ] || glslangValidator -V --target-env "$env" -o "$build/seeds/$name.spv" "$src" >/dev/null || true
	done
fi
if command -v spirv-as >/dev/null 2>&1; then
	for src in "$root"/tests/data/listing/*.spvasm; do
		name=$(basename "$src" .spvasm)
		[ -f "$build/seeds/$name.spv" ] || spirv-as --target-env spv1.3 -o "$build/seeds/$name.spv" "$src" || true
	done
fi

echo "fuzzing the decompiled listing for $seconds s"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$build/spirv_listing_fuzz" \
	-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
	-artifact_prefix="$build/" "$build/corpus" "$build/seeds" 2>&1 | tail -n 25
