#!/usr/bin/env bash
# Builds `shader` when needed and runs it: with no argument it prints its usage.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -x "$root/build/shader" ] || [ -n "$(find "$root/core" "$root/shader" "$root/tools" -newer "$root/build/shader" -name '*.[ch]*' 2>/dev/null | head -n 1)" ]; then
	cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build "$root/build" -j"$(nproc 2>/dev/null || echo 2)" --target shader >/dev/null
fi
"$root/build/shader" "$@"
