#!/usr/bin/env bash
# The whole suite: every test under AddressSanitizer + UndefinedBehaviorSanitizer, then
# the concurrency tests under ThreadSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
jobs=$(nproc)
# A compiler cache, where the machine has one, makes repeated runs quick.
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

echo "== build (address,undefined)"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DKESTREL_SANITIZE=address,undefined -DKESTREL_BENCH=OFF "${launcher[@]}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$root/build-asan" -j "$jobs"
echo "== tests (address,undefined)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build-asan" && ctest --output-on-failure -j "$jobs")

echo "== build (thread)"
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DKESTREL_SANITIZE=thread -DKESTREL_BENCH=OFF "${launcher[@]}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$root/build-tsan" -j "$jobs" concurrency_tests
echo "== concurrency tests (thread)"
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
(cd "$root/build-tsan" && ctest --output-on-failure -j "$jobs" -L concurrency)
