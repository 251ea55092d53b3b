#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# builds the Debian package and runs its programs from a scratch root, and runs
# the whole suite headless under ctest.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/instala_paquetes.sh
instala_paquetes "${PAQUETES_CONSTRUCCION[@]}" "${PAQUETES_PRUEBAS[@]}" "${PAQUETES_PAQUETE[@]}"

# Every C++ source in the repository's own .clang-format layout.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z '*.cpp' '*.h'
else
    find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0
fi | xargs -0 clang-format --dry-run --Werror

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DKV73_SANITIZE=ON -DKV73_WERROR=ON -DKV73_TESTS=ON
cmake --build build-test -j "$(nproc)"

# The package as a user gets it: a Release build without the suite, packed by
# CPack, unpacked into a scratch root and its programs run from there.
cmake -S . -B build-paquete -DCMAKE_BUILD_TYPE=Release -DKV73_TESTS=OFF
cmake --build build-paquete -j "$(nproc)"
rm -f build-paquete/kv73_*.deb
(cd build-paquete && cpack -G DEB)
paquete=$(ls build-paquete/kv73_*.deb)
# Debian's own checker: not an error nor a warning (it prints the tags it found).
lintian --fail-on error,warning --tag-display-limit 0 "$paquete" ||
    { echo "test.sh: $paquete: lintian found errors or warnings (above)" >&2; exit 1; }
raiz=$(mktemp -d /tmp/kv73-paquete.XXXXXX)
trap 'rm -rf "$raiz"' EXIT
dpkg-deb -x "$paquete" "$raiz"
falla() { echo "test.sh: $paquete: $*" >&2; exit 1; }
contenido=$(dpkg-deb -c "$paquete")
for f in bin/kv73 bin/kv73ctl bin/kv73-sim share/applications/kv73.desktop \
         share/icons/hicolor/scalable/apps/kv73.svg share/man/man1/kv73.1.gz \
         share/man/man1/kv73ctl.1.gz share/man/man1/kv73-sim.1.gz share/mime/packages/kv73.xml \
         share/metainfo/org.example.kv73.metainfo.xml share/doc/kv73/copyright \
         share/doc/kv73/changelog.gz share/doc/kv73/README.Debian \
         share/doc/kv73/examples/kv73-serve.conf lib/systemd/system/kv73-serve@.service; do
    grep -q " \./usr/$f\$" <<<"$contenido" || falla "no /usr/$f"
done
dependencias=$(dpkg-deb -f "$paquete" Depends)
for d in libqt6widgets6 libqt6serialport6 libqt6svg6 libqt6charts6 libqt6network6 fonts-liberation2 \
    libqt6sql6-sqlite; do
    grep -q "$d" <<<"$dependencias" || falla "Depends lacks $d: $dependencias"
done
version=$(dpkg-deb -f "$paquete" Version)
[ "$("$raiz/usr/bin/kv73" --version)" = "kv73 $version" ] || falla "kv73 --version is not kv73 $version"
[ "$("$raiz/usr/bin/kv73ctl" --version)" = "kv73ctl $version" ] || falla "kv73ctl --version is not kv73ctl $version"
"$raiz/usr/bin/kv73-sim" --help >/dev/null || falla "kv73-sim --help failed"
# The agent's unit as systemd reads it, on the unpacked program and man page.
sed "s#/usr/bin/kv73ctl#$raiz/usr/bin/kv73ctl#" "$raiz/usr/lib/systemd/system/kv73-serve@.service" \
    >"$raiz/kv73-serve@plant.service"
MANPATH="$raiz/usr/share/man" systemd-analyze verify "$raiz/kv73-serve@plant.service" ||
    falla "systemd-analyze refused kv73-serve@.service"
# kv73ctl finds its report module from its own folder, wherever the package lands.
"$raiz/usr/bin/kv73ctl" report tests/vectors/sample.KV73 --pdf "$raiz/report.pdf" >/dev/null ||
    falla "kv73ctl report failed: its module is not where the program looks"
# A file manager opens a setpoint file in the program: the MIME type reads as
# the desktop's database reads it, by name and by content, and the desktop
# entry takes it with the file's name; software centres accept the metainfo.
XDG_DATA_DIRS="$raiz/usr/share" update-mime-database "$raiz/usr/share/mime" ||
    falla "update-mime-database refused kv73.xml"
cp tests/vectors/sample.KV73 "$raiz/night.kv73"
cp tests/vectors/sample.KV73 "$raiz/renamed"
for f in night.kv73 renamed; do
    tipo=$(XDG_DATA_DIRS="$raiz/usr/share" XDG_DATA_HOME="$raiz/nada" \
           gio info -a standard::content-type "$raiz/$f" | sed -n 's/.*content-type: //p')
    [ "$tipo" = application/x-kv73 ] || falla "$f is $tipo to a desktop, not application/x-kv73"
done
grep -q '^MimeType=application/x-kv73;$' "$raiz/usr/share/applications/kv73.desktop" ||
    falla "the desktop entry does not take application/x-kv73"
grep -q '^Exec=kv73 %f$' "$raiz/usr/share/applications/kv73.desktop" ||
    falla "the desktop entry does not pass the file's name"
appstreamcli validate-tree --no-net "$raiz" || falla "appstreamcli refused the metainfo"
grep -q "<release version=\"$version\"" "$raiz/usr/share/metainfo/org.example.kv73.metainfo.xml" ||
    falla "the metainfo's newest release is not $version"
echo "test.sh: $paquete unpacks and its programs run"

# Last, so that ctest's summary closes the output.
cd build-test
ctest --output-on-failure --timeout 600 -j "$(nproc)"
