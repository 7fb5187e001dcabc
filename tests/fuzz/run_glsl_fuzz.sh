#!/usr/bin/env bash
# Builds the GLSL backend's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for a short time on seeds made from
# the backend fixtures of the tests. Skips, and says so, without clang or its
# fuzzer runtime.
# Usage: run_glsl_fuzz.sh [seconds] [build directory]
set -euo pipefail
# shellcheck source=tests/fuzz/fuzz_common.sh
. "$(dirname "$0")/fuzz_common.sh"
fuzz_start "GLSL backend" "$root/build-fuzz-glsl" "$@"

mkdir -p "$build/glsl-seeds" "$build/glsl-corpus"
fuzz_build spirv_glsl_fuzz "$root"/core/*.cpp "$root"/shader/ShaderSpirv*.cpp "$root"/shader/backends/*.cpp

if command -v glslangValidator >/dev/null 2>&1; then
	for src in "$root"/tests/data/backends/*.*; do
		name=$(basename "$src")
		case "$name" in
			*.task | *.mesh | *.r*) continue ;;
			subgroup_* | *.comp) env=vulkan1.1 ;;
			*) env=vulkan1.0 ;;
		esac
		[ -f "$build/glsl-seeds/$name.spv" ] || glslangValidator -V --target-env "$env" -o "$build/glsl-seeds/$name.spv" "$src" >/dev/null || true
	done
	# seeds of both sizes' lowest bits: the GL and the ES object
	for seed in "$build"/glsl-seeds/*.spv; do
		[ -f "$seed.es" ] || { cat "$seed"; printf '\001'; } >"$seed.es"
	done
fi

fuzz_run "the GLSL backend" spirv_glsl_fuzz 65536 "$build/glsl-corpus" "$build/glsl-seeds"
