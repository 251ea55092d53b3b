#include "kv73ctl/Traza_Consola.h"

#include <cstdio>

Traza_Consola::Traza_Consola(Puerto_Serie &puerto) : puerto_(puerto, traza_) {
    QObject::connect(&traza_, &Traza_Trafico::Linea_Nueva, [](const Linea_Traza &linea) {
        std::fprintf(stderr, "%s\n", qPrintable(Texto_Linea(linea)));
        std::fflush(stderr);
    });
}

Traza_Consola::~Traza_Consola() {
    traza_.Vacia();
}
