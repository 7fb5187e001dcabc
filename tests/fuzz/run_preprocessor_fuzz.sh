#!/usr/bin/env bash
# Builds the preprocessor's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for a short time on a few seed
# texts written here. Skips, and says so, without clang or its fuzzer runtime.
# Usage: run_preprocessor_fuzz.sh [seconds] [build directory]
set -euo pipefail
shopt -s nullglob
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-30}
build=${2:-$root/build-fuzz}

if ! command -v clang++ >/dev/null 2>&1; then
	echo "preprocessor fuzzing skipped: clang++ is not installed"
	exit 0
fi
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' |
	clang++ -x c++ -fsanitize=fuzzer - -o /dev/null >/dev/null 2>&1; then
	echo "preprocessor fuzzing skipped: clang's libFuzzer runtime is missing (libclang-rt-dev)"
	exit 0
fi

objdir="$build/preprocessor-obj"
seeds="$build/preprocessor-seeds"
corpus="$build/preprocessor-corpus"
mkdir -p "$objdir" "$seeds" "$corpus"
flags=(-std=c++17 -O1 -g -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -I"$root")
# the preprocessor reaches the shader module, so the whole library is built
sources=("$root"/core/*.cpp "$root"/shader/*.cpp "$root"/shader/*/*.cpp)
headers=("$root"/core/*.h "$root"/shader/*.h "$root"/shader/*/*.h)
newest=$(ls -t "${headers[@]}" | head -n 1)
objects=()
pids=()
for src in "${sources[@]}"; do
	obj="$objdir/$(basename "$(dirname "$src")")_$(basename "$src" .cpp).o"
	objects+=("$obj")
	if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ "$newest" -nt "$obj" ]; then
		clang++ "${flags[@]}" -c "$src" -o "$obj" &
		pids+=($!)
		if [ ${#pids[@]} -ge "$(nproc 2>/dev/null || echo 2)" ]; then
			wait "${pids[0]}"
			pids=("${pids[@]:1}")
		fi
	fi
done
for pid in "${pids[@]}"; do wait "$pid"; done
clang++ "${flags[@]}" -fsanitize=fuzzer "$root/tests/fuzz/preprocessor_fuzz.cpp" "${objects[@]}" -lz -o "$build/preprocessor_fuzz"

# seeds: one of each construct; a NUL byte separates the in-memory files
printf '#version 450\n#define A 1\n#define F(x, y) ((x) + (y) * A)\nint a = F(F(1, 2), A);\n' >"$seeds/macros"
printf '#if defined(A) && (1 + 2) * 3 > 4\nx\n#elif 1 / 0\n#else\ny\n#endif\n#ifdef A\n#endif\n' >"$seeds/conditions"
printf '#define V(a, ...) __VA_ARGC__ __VA_ARGS__ #a\n#define E(...) __VA_ARGM__(F)\n#define H(s) @s\nV(1, 2) E(a, b) H("abc")\n' >"$seeds/variadic"
printf '#include "a.h"\n#import "b.h"\n#import "b.h"\n__LINE__ __FILE__\n\0#include "b.h"\nint a;\n\0#pragma p(A)\nint b;\n' >"$seeds/include"
printf '/* c\n */ x // d\n"s" ##y\n#error e\n#define C 1 \\\r\n + 2\r\nC\r\n' >"$seeds/text"
# texts whose work grows exponentially unless the limits stop it
printf '#define E(x)\n#define A0 a\n#define A1 E(A0)E(A0)\n#define A2 E(A1)E(A1)\nA2\n#define A(x)x A(x\nF(V(,A(x)' >"$seeds/expansion"
printf '#include "a.h"\n\0#include "b.h"\n#include "b.h"\n\0#include "c.h"\n#include "c.h"\n\0x\n' >"$seeds/fanout"

echo "fuzzing the preprocessor for $seconds s"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$build/preprocessor_fuzz" \
	-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
	-artifact_prefix="$build/" "$corpus" "$seeds" 2>&1 | tail -n 25
