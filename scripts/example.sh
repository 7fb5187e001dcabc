#!/usr/bin/env bash
# Builds `shader` when needed and runs it on the shipped example: the SPIR-V of
# examples/gradient.frag, printed as a listing. Arguments, when given, are
# passed to `shader` instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -x "$root/build/shader" ] || [ -n "$(find "$root/core" "$root/shader" "$root/tools" -newer "$root/build/shader" -name '*.[ch]*' 2>/dev/null | head -n 1)" ]; then
	cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build "$root/build" -j"$(nproc 2>/dev/null || echo 2)" --target shader >/dev/null
fi
if [ $# -eq 0 ]; then
	set -- -fragment "$root/examples/gradient.spv" -d
fi
exec "$root/build/shader" "$@"
