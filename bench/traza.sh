#!/usr/bin/env bash
# The traffic trace's cost, in a Release build: nanoseconds it adds to a poll
# when nobody reads it, the cost of formatting a line, and the heap a full ring
# of lines takes.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKV73_TESTS=OFF -DKV73_BENCH=ON >/dev/null
cmake --build build-bench -j "$(nproc)" --target traza_bench >/dev/null
./build-bench/traza_bench
