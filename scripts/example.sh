#!/usr/bin/env bash
# Builds `shader` when needed and runs it on the shipped example: compiles the
# GLSL compute shader examples/gradient.comp and prints the listing of the
# module it made. Arguments, when given, are passed to `shader` instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -x "$root/build/shader" ] || [ -n "$(find "$root/core" "$root/shader" "$root/tools" -newer "$root/build/shader" -name '*.[ch]*' 2>/dev/null | head -n 1)" ]; then
	cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build "$root/build" -j"$(nproc 2>/dev/null || echo 2)" --target shader >/dev/null
fi
if [ $# -eq 0 ]; then
	set -- -compute "$root/examples/gradient.comp" -d -
fi
exec "$root/build/shader" "$@"
