#!/usr/bin/env bash
# The GLSL backend over the SPIR-V corpus: every module through -glsl and
# -glsles, every written text checked by glslangValidator, with the counts per
# format, the most common named errors, and the texts of spirv-cross (as a
# comparison only) checked the same way. Arguments go to source_corpus.py
# (--program, --corpus, --jobs, --top, --list FILE, --no-oracle).
set -euo pipefail
exec python3 "$(dirname "$0")/source_corpus.py" --backend glsl "$@"
