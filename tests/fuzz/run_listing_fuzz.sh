#!/usr/bin/env bash
# Builds the decompiled listing's libFuzzer target with clang (AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs it for a short time on seeds made
# from the shader and assembly fixtures of the tests. Skips, and says so,
# without clang or its fuzzer runtime.
# Usage: run_listing_fuzz.sh [seconds] [build directory]
set -euo pipefail
# shellcheck source=tests/fuzz/fuzz_common.sh
. "$(dirname "$0")/fuzz_common.sh"
fuzz_start "listing" "$root/build-fuzz-listing" "$@"

mkdir -p "$build/seeds" "$build/corpus"
fuzz_build spirv_listing_fuzz "$root"/core/*.cpp "$root"/shader/ShaderSpirv*.cpp "$root"/shader/backends/*.cpp

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

fuzz_run "the decompiled listing" spirv_listing_fuzz 65536 "$build/corpus" "$build/seeds"
