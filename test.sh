#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs the whole suite headless under ctest.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/instala_paquetes.sh
instala_paquetes "${PAQUETES_CONSTRUCCION[@]}" "${PAQUETES_PRUEBAS[@]}"

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DKV73_SANITIZE=ON -DKV73_WERROR=ON -DKV73_TESTS=ON
cmake --build build-test -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd build-test
ctest --output-on-failure --timeout 600 -j "$(nproc)"
