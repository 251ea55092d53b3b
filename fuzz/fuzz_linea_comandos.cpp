// Fuzz target: the command line a launching program gives the desktop program
// (Analiza_Linea_Kv73), as the bytes of the process's arguments joined by
// blanks. Whatever it accepts must read back the same when written out again
// in the expected form.

#include "comun/Linea_Comandos.h"
#include "fuzz/Banco_Fuzz.h"

#include <QString>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    Prepara_Banco(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, std::size_t n) {
    const QString linea =
        QString::fromLocal8Bit(reinterpret_cast<const char *>(datos), static_cast<qsizetype>(n));
    const auto resultado = Analiza_Linea_Kv73(linea);
    const auto *p = std::get_if<Parametros_Enlace>(&resultado);
    if (!p) {
        Exige(!std::get<QString>(resultado).isEmpty(), "a refused command line without a reason");
        return 0;
    }
    const QString canonica = QStringLiteral("%1,N,8,1 %2 %3")
                                 .arg(p->velocidad)
                                 .arg(p->puerto)
                                 .arg(static_cast<int>(p->direccion));
    const auto otra = Analiza_Linea_Kv73(canonica);
    const auto *q = std::get_if<Parametros_Enlace>(&otra);
    Exige(q && q->velocidad == p->velocidad && q->puerto == p->puerto &&
              q->direccion == p->direccion,
          "accepted parameters do not read back the same");
    return 0;
}
