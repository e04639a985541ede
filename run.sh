#!/usr/bin/env bash
# Installs what is missing, builds Marlocket and starts it.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMK_BUILD_TESTS=OFF -DMK_BUILD_BENCH=OFF >/dev/null
cmake --build build --target marlocket
exec build/bin/marlocket "$@"
