#!/usr/bin/env bash
# Builds the SPIR-V reader's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for a short time on seeds compiled
# from the stage sources of the tests. Skips, and says so, without clang, its
# fuzzer runtime or glslangValidator.
# Usage: run_spirv_fuzz.sh [seconds] [build directory]
set -euo pipefail
# shellcheck source=tests/fuzz/fuzz_common.sh
. "$(dirname "$0")/fuzz_common.sh"
fuzz_start "SPIR-V reader" "$root/build-fuzz" "$@"

mkdir -p "$build/seeds" "$build/corpus"
fuzz_build spirv_reader_fuzz "$root"/core/*.cpp "$root"/shader/ShaderSpirv*.cpp "$root"/shader/backends/*.cpp

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

fuzz_run "the SPIR-V reader" spirv_reader_fuzz 65536 "$build/corpus" "$build/seeds"
