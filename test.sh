#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
# With CI=true (or MK_SANITIZE=ON) the build uses AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh
sanitize=${MK_SANITIZE:-OFF}
[ "${CI:-}" = "true" ] && sanitize=ON
dir=build-test
[ "$sanitize" = "ON" ] && dir=build-asan
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMK_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$dir" && ctest --output-on-failure -j"$(nproc)"
