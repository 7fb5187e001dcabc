#!/usr/bin/env bash
# Builds the GLSL compiler's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer), runs it for a short time on seed shaders of
# every stage written here, then has spirv-val check the module of every
# input that compiles: the corpus, the seeds and the shaders of
# compiler_regressions/ (each of which once compiled to a module that
# spirv-val rejects). Skips, and says so, without clang or its fuzzer
# runtime; skips the module check without spirv-val.
# With VEXA_MODULE_CHECK=report, rejected modules are listed but do not fail
# the script (a crash, hang, leak or sanitizer report always does).
# Usage: run_compiler_fuzz.sh [seconds] [build directory]
set -euo pipefail
# shellcheck source=tests/fuzz/fuzz_common.sh
. "$(dirname "$0")/fuzz_common.sh"
fuzz_start "compiler" "$root/build-fuzz" "$@"

seeds="$build/compiler-seeds"
corpus="$build/compiler-corpus"
mkdir -p "$seeds" "$corpus"
fuzz_build compiler_fuzz "$root"/core/*.cpp "$root"/shader/*.cpp "$root"/shader/*/*.cpp

# seed NAME STAGE [FOLDER]: the text on standard input, after the stage byte
# (the compiler's stage number less one), as an input of FOLDER (the seeds)
seed() {
	{
		printf '%b' "\\x$(printf %02x "$(($2 - 1))")"
		cat
	} >"${3:-$seeds}/$1"
}

seed vertex 1 <<'GLSL'
#version 450
const int N = 4 * 2;
struct Light { vec4 position; vec3 color; float range; };
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 uv[2];
layout(location = 0) out vec4 color;
layout(std140, set = 1, binding = 0) uniform Frame { mat4 view; Light lights[N]; } frame;
layout(push_constant) uniform Push { uint index; } push;
void helper(in vec3 p, out vec4 q, inout float w);
void helper(in vec3 p, out vec4 q, inout float w) { vec4 t; return; }
void main() { int i; float a[3]; }
GLSL
seed control 2 <<'GLSL'
#version 450
layout(vertices = 3) out;
layout(location = 1) patch out vec4 factor;
void main() { }
GLSL
seed evaluate 3 <<'GLSL'
#version 450
layout(triangles, equal_spacing, ccw) in;
layout(location = 0) out vec3 normal;
layout(location = 1) patch in vec4 factor;
void main() { }
GLSL
seed geometry 4 <<'GLSL'
#version 450
layout(triangles, invocations = 2) in;
layout(line_strip, max_vertices = 6) out;
layout(location = 0) out vec4 color;
void main() { return; }
GLSL
seed fragment 5 <<'GLSL'
#version 450
const float Pi = 3.14159265;
const vec2 Half = vec2(0.5, 1.0 / 2.0);
layout(location = 0) in vec2 uv;
layout(location = 1) flat in ivec2 cell;
layout(location = 0) out vec4 color;
layout(binding = 0) uniform sampler2D image;
layout(binding = 1, std140) uniform Material { vec4 albedo; float roughness; } material;
void main() { vec4 texel; discard; }
GLSL
seed compute 6 <<'GLSL'
#version 450
#extension GL_EXT_shader_explicit_arithmetic_types_int64 : require
layout(local_size_x = 8, local_size_y = 8, local_size_z = 1) in;
const uint Bins = 64u;
shared uint bins[Bins];
layout(binding = 0, rgba8) uniform writeonly image2D target;
layout(std430, binding = 1) buffer Data { uint count; vec4 values[]; } data;
layout(std430, binding = 2) readonly buffer Input { double weights[4]; int64_t big; } input_data;
void main() { uvec3 id; }
GLSL
seed task 7 <<'GLSL'
#version 450
#extension GL_EXT_mesh_shader : require
layout(local_size_x = 32) in;
struct Payload { uint count; uint indices[32]; };
taskPayloadSharedEXT Payload payload;
void main() { }
GLSL
seed mesh 8 <<'GLSL'
#version 450
#extension GL_EXT_mesh_shader : require
layout(local_size_x = 32) in;
layout(triangles, max_vertices = 64, max_primitives = 126) out;
void main() { }
GLSL
seed raygen 9 <<'GLSL'
#version 460
#extension GL_EXT_ray_tracing : require
layout(binding = 0, set = 0) uniform accelerationStructureEXT scene;
layout(binding = 1, set = 0, rgba8) uniform image2D target;
layout(location = 0) rayPayloadEXT vec4 payload;
void main() { }
GLSL
seed closest 11 <<'GLSL'
#version 460
#extension GL_EXT_ray_tracing : require
layout(location = 0) rayPayloadInEXT vec4 payload;
hitAttributeEXT vec2 attributes;
void main() { }
GLSL
seed callable 14 <<'GLSL'
#version 460
#extension GL_EXT_ray_tracing : require
layout(location = 0) callableDataInEXT vec4 data;
void main() { }
GLSL

fuzz_run "the GLSL compiler" compiler_fuzz 4096 "$corpus" "$seeds" -dict="$root/tests/fuzz/compiler.dict"

# the regression shaders as inputs, their stage from the file extension
regressions="$build/compiler-regressions"
rm -rf "$regressions"
mkdir -p "$regressions"
for src in "$root"/tests/fuzz/compiler_regressions/*; do
	case "${src##*.}" in
		vert) stage=1 ;;
		tesc) stage=2 ;;
		tese) stage=3 ;;
		geom) stage=4 ;;
		frag) stage=5 ;;
		comp) stage=6 ;;
		task) stage=7 ;;
		mesh) stage=8 ;;
		rgen) stage=9 ;;
		rmiss) stage=10 ;;
		rchit) stage=11 ;;
		rahit) stage=12 ;;
		rint) stage=13 ;;
		rcall) stage=14 ;;
		*) continue ;;
	esac
	name=$(basename "$src")
	seed "$name" "$stage" "$regressions" <"$src"
done

status=0
bash "$root/tests/fuzz/check_compiler_corpus.sh" "$build" "$corpus" "$seeds" "$regressions" || status=$?
if [ "$status" -eq 1 ] && [ "${VEXA_MODULE_CHECK:-}" = report ]; then
	echo "(rejected modules reported only: VEXA_MODULE_CHECK=report)"
	status=0
fi
exit "$status"
