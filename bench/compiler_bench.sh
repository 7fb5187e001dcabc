#!/usr/bin/env bash
# Speed and memory of the GLSL compiler against an independent compiler:
# compiles the small shaders of bench/glsl/ and a large shader generated here
# (uniform and buffer blocks, structures, constant globals and functions with
# parameters and empty bodies) with `shader -<stage> x -o out.spv` and, in the
# same run, with `glslangValidator -V x -o ref.spv`, one whole process per
# shader and tool. Prints for each shader the best time of both over the
# rounds, their ratio and the peak memory of each, then how the time of the
# generated shader grows from half its size to its whole size (linear cost
# doubles it).
#
# usage: bench/compiler_bench.sh [shader program] [rounds] [generated size in bytes]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shader=${1:-$root/build/shader}
rounds=${2:-5}
size=${3:-1048576}

command -v glslangValidator >/dev/null || { echo "glslangValidator is not installed" >&2; exit 1; }
[ -x "$shader" ] || { echo "no program at $shader (build it first)" >&2; exit 1; }
# times are microseconds from EPOCHREALTIME (bash 5), so that taking them
# starts no process
[ -n "${EPOCHREALTIME:-}" ] || { echo "bash 5 or later is needed" >&2; exit 1; }

# peak memory of one run in KiB: GNU time where it is, else the children's
# rusage read by python (each run in a python of its own, so that the peak is
# this run's alone)
if [ -x /usr/bin/time ] && /usr/bin/time -f %M -o /dev/null true 2>/dev/null; then
	peak_kib() {
		local out
		out=$(mktemp)
		/usr/bin/time -f %M -o "$out" "$@" >/dev/null 2>&1 || true
		tail -n 1 "$out"
		rm -f "$out"
	}
elif command -v python3 >/dev/null; then
	peak_kib() {
		python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@"
	}
else
	peak_kib() { echo 0; }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# generate BYTES FILE: units of declarations until the text reaches BYTES
generate() {
	awk -v limit="$1" 'BEGIN {
		text = "#version 450\nlayout(local_size_x = 64, local_size_y = 1) in;\n"
		printf "%s", text
		total = length(text)
		for (i = 0; total < limit; i++) {
			unit = sprintf("struct Item%d {\n\tvec4 position;\n\tvec3 normal;\n\tvec4 weights[2];\n\tmat4 transform;\n\tuint flags;\n};\n", i)
			unit = unit sprintf("const int Count%d = %d * 2 + 1;\nconst float Scale%d = 1.0 / %d.0;\nconst uvec2 Size%d = uvec2(%du, %du);\n", i, i % 97, i, i + 1, i, i % 13 + 1, i % 7 + 1)
			unit = unit sprintf("layout(std140, set = 0, binding = %d) uniform Parameters%d {\n\tItem%d items[Count%d];\n\tvec4 tint;\n\tivec2 size;\n} parameters%d;\n", i, i, i, i, i)
			unit = unit sprintf("layout(std430, set = 1, binding = %d) buffer Output%d {\n\tuint count;\n\tvec4 values[];\n} output%d;\n", i, i, i)
			unit = unit sprintf("void process%d(in vec4 a, out vec3 b, inout Item%d item, float c[4], const in uint d) {\n\tvec4 t;\n\tItem%d copy;\n\treturn;\n}\n", i, i, i)
			printf "%s", unit
			total += length(unit)
		}
		printf "void main() {\n}\n"
	}' >"$2"
}

# the stage option of a file name
stage_of() {
	case "$1" in
		*.vert) echo -v ;;
		*.tesc) echo -tc ;;
		*.tese) echo -te ;;
		*.geom) echo -g ;;
		*.frag) echo -f ;;
		*.comp | generated-*) echo -c ;;
		*) echo "unknown stage of $1" >&2; exit 1 ;;
	esac
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

files=("$root"/bench/glsl/*)
generate $((size / 2)) "$work/generated-half.comp"
generate "$size" "$work/generated.comp"
files+=("$work/generated-half.comp" "$work/generated.comp")

declare -a ours theirs
failed=()
for ((round = 0; round < rounds; round++)); do
	for i in "${!files[@]}"; do
		file=${files[$i]}
		stage=$(stage_of "$file")
		t0=${EPOCHREALTIME/[.,]/}
		"$shader" "$stage" "$file" -o "$work/out.spv" >/dev/null 2>&1 || failed+=("shader: $(basename "$file")")
		t1=${EPOCHREALTIME/[.,]/}
		glslangValidator -V "$file" -o "$work/ref.spv" >/dev/null 2>&1 || failed+=("glslangValidator: $(basename "$file")")
		t2=${EPOCHREALTIME/[.,]/}
		# the fastest of the rounds stands for each shader
		a=$((t1 - t0))
		b=$((t2 - t1))
		if [ "$round" -eq 0 ] || [ "$a" -lt "${ours[$i]}" ]; then ours[i]=$a; fi
		if [ "$round" -eq 0 ] || [ "$b" -lt "${theirs[$i]}" ]; then theirs[i]=$b; fi
	done
done

# what starting any process costs here, so that the compiling can be told apart
base=0
for ((i = 0; i < 50; i++)); do
	t0=${EPOCHREALTIME/[.,]/}
	/bin/true
	t1=${EPOCHREALTIME/[.,]/}
	if [ "$i" -eq 0 ] || [ $((t1 - t0)) -lt "$base" ]; then base=$((t1 - t0)); fi
done

echo "best of $rounds rounds; times in ms of the whole process, memory in MiB of peak resident size"
printf '%-22s %9s %10s %10s %7s %9s %9s %s\n' file bytes shader glslang ratio "shader" "glslang" "valid"
for i in "${!files[@]}"; do
	file=${files[$i]}
	stage=$(stage_of "$file")
	m_ours=$(peak_kib "$shader" "$stage" "$file" -o "$work/out.spv")
	m_theirs=$(peak_kib glslangValidator -V "$file" -o "$work/ref.spv")
	# the module the compiler wrote, checked by the independent validator
	# under the Vulkan rules of its version
	valid=-
	if command -v spirv-val >/dev/null && "$shader" "$stage" "$file" -o "$work/out.spv" >/dev/null 2>&1; then
		if spirv-val --target-env "$(environment "$work/out.spv")" "$work/out.spv" >/dev/null 2>&1; then valid=yes; else valid=NO; fi
	fi
	awk -v f="$(basename "$file")" -v s="$(stat -c %s "$file")" -v a="${ours[$i]}" -v b="${theirs[$i]}" \
		-v ma="$m_ours" -v mb="$m_theirs" -v v="$valid" 'BEGIN {
		printf "%-22s %9d %10.2f %10.2f %7.2f %9.1f %9.1f %s\n", f, s, a / 1000, b / 1000, (a > 0) ? b / a : 0, ma / 1024, mb / 1024, v
	}'
done
echo "ratio is glslang / shader (above 1: shader is faster)"
echo "starting a process (/bin/true): $(awk -v z="$base" 'BEGIN { printf "%.2f", z / 1000 }') ms"

# cost against size: the generated shader at half and at the whole size
n=${#files[@]}
half=$((n - 2))
whole=$((n - 1))
awk -v sh="$(stat -c %s "${files[$half]}")" -v sw="$(stat -c %s "${files[$whole]}")" \
	-v ah="${ours[$half]}" -v aw="${ours[$whole]}" -v bh="${theirs[$half]}" -v bw="${theirs[$whole]}" -v z="$base" 'BEGIN {
	printf "size %.2f MB -> %.2f MB (x%.2f): shader time x%.2f (x%.2f without process start), glslang time x%.2f\n",
		sh / 1e6, sw / 1e6, sw / sh, aw / ah, (aw - z) / (ah - z), bw / bh
}'

if [ ${#failed[@]} -ne 0 ]; then
	echo "failed compilations:"
	printf '  %s\n' "${failed[@]}" | sort | uniq -c
	exit 1
fi
