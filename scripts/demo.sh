#!/usr/bin/env bash
# The main job on an embedded default: a generated transport stream pushed through
# the filter in host-supplied mode into a file, with the run's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF -DKESTREL_BENCH=OFF >/dev/null
ninja -C "$root/build" kestrel tsgen plinth-example
out="${KESTREL_DEMO_DIR:-$root/build/demo}"
mkdir -p "$out"
"$root/build/bin/tsgen" --bitrate 8000000 --seconds 10 --out "$out/sample.ts"
echo "== kestrel push --in sample.ts --out pushed.ts"
"$root/build/bin/kestrel" push --in "$out/sample.ts" --out "$out/pushed.ts"
cmp "$out/sample.ts" "$out/pushed.ts" && echo "pushed.ts is byte-identical to sample.ts ($(stat -c %s "$out/pushed.ts") bytes)"
