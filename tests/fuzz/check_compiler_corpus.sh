#!/usr/bin/env bash
# Checks the modules the GLSL compiler makes from a fuzzing corpus: runs the
# compiler's fuzz target once over every input of the given folders, which
# writes each input that compiles with its module, and has spirv-val check
# each module under the Vulkan rules of its SPIR-V version. Prints one module of each kind
# of complaint (its input, then spirv-val's first lines) and a count of each
# kind. Exits with status 1 when any module is rejected, 2 when the fuzz
# target itself fails on an input. Skips, and says so, without spirv-val or
# without the fuzz target (run_compiler_fuzz.sh builds it).
# Usage: check_compiler_corpus.sh BUILD_DIRECTORY INPUT_FOLDER...
set -euo pipefail
build=$1
shift
fuzzer=$build/compiler_fuzz
if ! command -v spirv-val >/dev/null 2>&1; then
	echo "compiler module check skipped: spirv-val is not installed"
	exit 0
fi
if [ ! -x "$fuzzer" ]; then
	echo "compiler module check skipped: no fuzz target at $fuzzer"
	exit 0
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# -runs=0: each input of the folders runs once, and no new one is made
VEXA_FUZZ_SPIRV=$out ASAN_OPTIONS=detect_leaks=0 "$fuzzer" -runs=0 "$@" >"$out/run.txt" 2>&1 || {
	tail -n 25 "$out/run.txt"
	echo "compiler module check: the fuzz target failed on the corpus"
	exit 2
}

# the Vulkan environment of a module's SPIR-V version (header word 1)
environment() {
	case "$(od -An -tx4 -j4 -N4 "$1" | tr -d ' ')" in
		00010000) echo vulkan1.0 ;;
		0001[0-3]00) echo vulkan1.1 ;;
		00010400) echo vulkan1.1spv1.4 ;;
		00010500) echo vulkan1.2 ;;
		*) echo vulkan1.3 ;;
	esac
}

total=0
rejected=0
declare -A kinds
for module in "$out"/*.spv; do
	[ -e "$module" ] || continue
	total=$((total + 1))
	spirv-val --target-env "$(environment "$module")" "$module" >"$out/val.txt" 2>&1 && continue
	rejected=$((rejected + 1))
	# one example of each kind of complaint: its first line without numbers and names
	kind=$(head -n 1 "$out/val.txt" | sed -E "s/^error: line [0-9]+: //; s/'[^']*'/'.'/g; s/[0-9]+/N/g")
	kinds[$kind]=$((${kinds[$kind]:-0} + 1))
	[ "${kinds[$kind]}" -eq 1 ] || continue
	input=${module%.spv}.glsl
	echo "== spirv-val rejects the module of this input (stage $((1 + $(od -An -tu1 -N1 "$input") % 14))):"
	# control bytes shown as ^X, so that the text can't upset a terminal
	tail -c +2 "$input" | head -c 2000 | cat -v
	echo
	echo "-- spirv-val:"
	head -n 6 "$out/val.txt"
done
if [ "$rejected" -ne 0 ]; then
	echo "== rejected modules by complaint:"
	for kind in "${!kinds[@]}"; do printf '%6d  %s\n' "${kinds[$kind]}" "$kind"; done | sort -rn
fi
echo "compiler module check: $total inputs compiled, spirv-val rejected $rejected of their modules"
[ "$rejected" -eq 0 ]
