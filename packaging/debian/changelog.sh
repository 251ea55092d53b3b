#!/bin/sh
# Writes the Debian changelog of the package, gzipped, from CHANGELOG.md: each
# "## VERSION" section is an entry of that version, "## Unreleased" the entry of
# the version being built (marked UNRELEASED; VERSION+unreleased when that
# version is already released), "### Added" and the like a heading inside it,
# and every item wrapped to Debian's width.
#
# changelog.sh CHANGELOG.md VERSION "NAME <ADDRESS>" EPOCH OUTPUT.gz
set -eu
entrada=$1 version=$2 mantenedor=$3 epoca=$4 salida=$5
fecha=$(LC_ALL=C date -u -R -d "@$epoca")
if grep -q "^## $version\\b" "$entrada"; then
    nueva="$version+unreleased"
else
    nueva=$version
fi
LC_ALL=C awk -v nueva="$nueva" -v mantenedor="$mantenedor" -v fecha="$fecha" '
function envuelve(texto, marca,    n, p, i, linea, vacia) {
    n = split(texto, p, /[ \t]+/)
    linea = marca
    vacia = 1
    for (i = 1; i <= n; i++) {
        if (p[i] == "")
            continue
        if (!vacia && length(linea) + 1 + length(p[i]) > 78) {
            print linea
            linea = "   "
        }
        linea = linea " " p[i]
        vacia = 0
    }
    if (!vacia)
        print linea
}
function vuelca() {
    if (item != "")
        envuelve(item, "  *")
    item = ""
}
function cierra() {
    vuelca()
    if (abierta)
        printf "\n -- %s  %s\n\n", mantenedor, fecha
    abierta = 0
}
/^## / {
    cierra()
    titulo = substr($0, 4)
    if (titulo ~ /^Unreleased/) {
        printf "kv73 (%s) UNRELEASED; urgency=medium\n", nueva
    } else {
        split(titulo, partes, " ")
        printf "kv73 (%s) unstable; urgency=medium\n", partes[1]
    }
    abierta = 1
    next
}
!abierta { next }
/^### / {
    vuelca()
    printf "\n  %s:\n", substr($0, 5)
    next
}
/^- / { vuelca(); item = substr($0, 3); next }
/^  +[^ ]/ && item != "" { item = item " " $0; next }
/^[ \t]*$/ { vuelca(); next }
{ vuelca(); envuelve($0, " ") }
END { cierra() }
' "$entrada" | gzip -9n >"$salida"
