#!/usr/bin/env bash
# The main job on an embedded default: a generated transport stream played through the
# filter in file mode, paced to its measured bitrate, into a file, with the summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF -DKESTREL_BENCH=OFF >/dev/null
ninja -C "$root/build" kestrel tsgen plinth-example
out="${KESTREL_DEMO_DIR:-$root/build/demo}"
mkdir -p "$out"
# Twelve seconds at 8 Mbit/s: long enough for the PCR measurement, which skips the first 5 MiB.
"$root/build/bin/tsgen" --bitrate 8000000 --seconds 12 --out "$out/sample.ts"
"$root/build/bin/kestrel" measure "$out/sample.ts"
echo "== kestrel play sample.ts:LOOP: --seconds 5 --out played.ts"
"$root/build/bin/kestrel" play "$out/sample.ts:LOOP:" --seconds 5 --out "$out/played.ts"
echo "wrote $(stat -c %s "$out/played.ts") bytes to $out/played.ts"
