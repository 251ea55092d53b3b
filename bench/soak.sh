#!/usr/bin/env bash
# The live page against kv73-sim with faults on the line for MINUTOS (10)
# minutes at the program's own pace (1 s tick, a poll every 500 ms, the
# setpoints re-read every minute). The relay spoils the CRC of every 7th reply,
# puts 2 bytes of junk after each reply and sends each reply in two halves 5 ms
# apart: all of it the exchange copes with, so the link must stay up.
# Prints resident memory every minute, after 1 and after MINUTOS minutes, and
# the polls, bad replies and link failures.
# Target: growth under 1 MiB from minute 1 to the end, no link failure.
#
# Beside it, the same MINUTOS, the long run of the line test with one reply in
# five spoiled: the link never drops and the screen never shows a bad reply.
set -euo pipefail
cd "$(dirname "$0")/.."
minutos=${MINUTOS:-10}

cmake -S . -B build-soak -DCMAKE_BUILD_TYPE=Release -DKV73_BENCH=ON >/dev/null
cmake --build build-soak -j "$(nproc)" --target pagina_viva kv73-sim test_fallos_linea >/dev/null

carpeta=$(mktemp -d /tmp/kv73-soak.XXXXXX)
./build-soak/simulador/kv73-sim --link "$carpeta/relay" --bad-crc-every 7 --junk 2 --split 5 \
    >/dev/null &
simulador=$!
largo=
trap '[ -n "$largo" ] && kill "$largo" 2>/dev/null; kill "$simulador" 2>/dev/null
      wait 2>/dev/null; rm -rf "$carpeta"' EXIT
for _ in $(seq 100); do [ -e "$carpeta/relay" ] && break; sleep 0.05; done

export QT_QPA_PLATFORM=offscreen
KV73_LARGO=$minutos ./build-soak/tests/test_fallos_linea \
    --gtest_filter='*OneReplyInFiveWithABadCrc*' >"$carpeta/largo" 2>&1 &
largo=$!

echo "live page, kv73-sim --bad-crc-every 7 --junk 2 --split 5, $minutos min:"
./build-soak/pagina_viva --device "$carpeta/relay" --minutes "$minutos"

if wait "$largo"; then resultado=passed; else resultado=FAILED; fi
largo=
echo
echo "line test, kv73-sim --bad-crc-every 5, $minutos min: $resultado"
grep -E '^bad CRC|Failure|Expected|Actual|Which is' "$carpeta/largo" || true
[ "$resultado" = passed ]
