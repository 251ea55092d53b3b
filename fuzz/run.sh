#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (build-fuzz) and runs each
# for SECONDS (default 300), then prints, per target, the inputs tried and the
# inputs that crashed it (a sanitizer report, a broken check of the target, a
# leak or a hang of more than 10 s).
#
# Usage: fuzz/run.sh [SECONDS] [TARGET...]
#
# Each target starts from its committed seeds in fuzz/corpus/<target> and keeps
# what it learns in fuzz-out/<target>/corpus; an input that crashed it is kept
# in fuzz-out/<target>/crashes and replayed with full sanitizer stacks into
# fuzz-out/<target>/log. A crash does not end the run: the target is started
# again for the time that is left.
#
# ASan keeps no allocation stacks and a small quarantine while fuzzing: the
# transaction and modem targets allocate on every step and run three times as
# fast so. Every error is still caught; the replay shows the stacks.
set -euo pipefail
cd "$(dirname "$0")/.."
segundos=${1:-300}
shift || true
objetivos=("$@")
[ ${#objetivos[@]} -gt 0 ] || objetivos=(fuzz_transacciones fuzz_archivo fuzz_linea_comandos fuzz_modem)

. scripts/instala_paquetes.sh
instala_paquetes "${PAQUETES_CONSTRUCCION[@]}" "${PAQUETES_FUZZ[@]}"

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
      -DKV73_FUZZ=ON -DKV73_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${objetivos[@]}" >/dev/null

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
rapido=malloc_context_size=0:quarantine_size_mb=16:max_malloc_fill_size=0
raiz=$PWD
# Slow inputs are noted by libFuzzer too, but they are not failures.
cuenta_fallos() { find "$1" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l; }
resumen=()
for t in "${objetivos[@]}"; do
    out=fuzz-out/$t
    mkdir -p "$out/corpus" "$out/crashes" "$out/trabajo"
    # Crashes of earlier runs are kept aside; this run counts its own.
    if [ -n "$(ls -A "$out/crashes")" ]; then
        mkdir -p "$out/crashes-anteriores"
        mv "$out"/crashes/* "$out/crashes-anteriores/"
    fi
    : >"$out/log"
    extra=()
    [ -f "fuzz/${t#fuzz_}.dict" ] && extra+=("-dict=$raiz/fuzz/${t#fuzz_}.dict")
    entradas=0
    fin=$((SECONDS + segundos))
    while [ $((fin - SECONDS)) -ge 1 ]; do
        antes=$(cuenta_fallos "$out/crashes")
        # In a folder of its own: the modem target writes the modem string file there.
        (cd "$out/trabajo" && ASAN_OPTIONS=$rapido "$raiz/build-fuzz/fuzz/$t" \
            "$raiz/$out/corpus" "$raiz/fuzz/corpus/$t" "${extra[@]}" \
            -max_total_time=$((fin - SECONDS)) -timeout=10 -print_final_stats=1 \
            -artifact_prefix="$raiz/$out/crashes/" >>"$raiz/$out/log" 2>&1) || true
        n=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$out/log" | tail -1 | awk '{print $2}')
        entradas=$((entradas + ${n:-0}))
        sed -i 's/stat::number_of_executed_units/counted::number_of_executed_units/' "$out/log"
        [ "$(cuenta_fallos "$out/crashes")" -gt "$antes" ] || break
    done
    fallos=$(cuenta_fallos "$out/crashes")
    for f in "$out"/crashes/{crash,leak,timeout,oom}-*; do
        [ -e "$f" ] || continue
        echo "=== replay of $f" >>"$out/log"
        (cd "$out/trabajo" && "$raiz/build-fuzz/fuzz/$t" "$raiz/$f" >>"$raiz/$out/log" 2>&1) || true
    done
    resumen+=("$(printf '%-22s inputs tried %12d   crashes %d' "$t" "$entradas" "$fallos")")
    echo "${resumen[-1]}"
done
echo
echo "fuzzing, $segundos s a target:"
printf '%s\n' "${resumen[@]}"
