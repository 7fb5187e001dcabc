#!/usr/bin/env bash
# Builds the preprocessor's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for a short time on a few seed
# texts written here. Skips, and says so, without clang or its fuzzer runtime.
# Usage: run_preprocessor_fuzz.sh [seconds] [build directory]
set -euo pipefail
# shellcheck source=tests/fuzz/fuzz_common.sh
. "$(dirname "$0")/fuzz_common.sh"
fuzz_start "preprocessor" "$root/build-fuzz" "$@"

seeds="$build/preprocessor-seeds"
corpus="$build/preprocessor-corpus"
mkdir -p "$seeds" "$corpus"
# the preprocessor reaches the shader module, so the whole library is built
fuzz_build preprocessor_fuzz "$root"/core/*.cpp "$root"/shader/*.cpp "$root"/shader/*/*.cpp

# seeds: one of each construct; a NUL byte separates the in-memory files
printf '#version 450\n#define A 1\n#define F(x, y) ((x) + (y) * A)\nint a = F(F(1, 2), A);\n' >"$seeds/macros"
printf '#if defined(A) && (1 + 2) * 3 > 4\nx\n#elif 1 / 0\n#else\ny\n#endif\n#ifdef A\n#endif\n' >"$seeds/conditions"
printf '#define V(a, ...) __VA_ARGC__ __VA_ARGS__ #a\n#define E(...) __VA_ARGM__(F)\n#define H(s) @s\nV(1, 2) E(a, b) H("abc")\n' >"$seeds/variadic"
printf '#include "a.h"\n#import "b.h"\n#import "b.h"\n__LINE__ __FILE__\n\0#include "b.h"\nint a;\n\0#pragma p(A)\nint b;\n' >"$seeds/include"
printf '/* c\n */ x // d\n"s" ##y\n#error e\n#define C 1 \\\r\n + 2\r\nC\r\n' >"$seeds/text"
printf '#version 310 es\n#line 10 2\n#if -1 << 2 >> 1 | ~3 & 5 ^ 6 %% 4 && __VERSION__ && GL_ES\n#define NEG(x) -x\nNEG(-a) F F(1) __FILE__ __LI\\\nNE__\n#endif\n' >"$seeds/operators"
printf '#define L 5\n#line (L + 010) 0x2 * 2\n#if 0777 == 511 && 0X1fu\n__LINE__\n#elif 09\n#endif\n#line 1 - 2 "f"\n' >"$seeds/numbers"
# texts whose work grows exponentially unless the limits stop it
printf '#define E(x)\n#define A0 a\n#define A1 E(A0)E(A0)\n#define A2 E(A1)E(A1)\nA2\n#define A(x)x A(x\nF(V(,A(x)' >"$seeds/expansion"
printf '#include "a.h"\n\0#include "b.h"\n#include "b.h"\n\0#include "c.h"\n#include "c.h"\n\0x\n' >"$seeds/fanout"

fuzz_run "the preprocessor" preprocessor_fuzz 4096 "$corpus" "$seeds"
