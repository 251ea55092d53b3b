#!/bin/sh
# Writes the package's copyright file in Debian's machine-readable format from
# LICENSE (the MIT licence, which Debian calls Expat): its "Copyright (c) ..."
# line gives the holders, the text after it the licence.
#
# copyright.sh LICENSE "NAME <ADDRESS>" OUTPUT
set -eu
licencia=$1 contacto=$2 salida=$3
titulares=$(sed -n 's/^Copyright (c) //p' "$licencia" | head -n 1)
[ -n "$titulares" ] || { echo "copyright.sh: no Copyright line in $licencia" >&2; exit 1; }
{
    echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
    echo "Upstream-Name: kv73"
    echo "Upstream-Contact: $contacto"
    echo
    echo "Files: *"
    echo "Copyright: $titulares"
    echo "License: Expat"
    echo
    echo "License: Expat"
    # The text after the Copyright line, its leading blank lines dropped, each
    # line indented and each blank line a lone dot.
    sed '1,/^Copyright (c) /d' "$licencia" |
        awk 'NF { empezado = 1 } empezado { print (NF ? " " $0 : " .") }'
} >"$salida"
