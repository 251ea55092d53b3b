// Fuzz target: the setpoint file reader with any bytes, any length, then what
// kv73ctl shows of a loaded file. A refused file changes nothing but the
// outcome flag; a loaded one puts exactly its frame and actual values in place
// and leaves the link down.

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "fuzz/Banco_Fuzz.h"
#include "kv73ctl/Comandos.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    Prepara_Banco(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, std::size_t n) {
    Puerto_Memoria puerto;
    Nueva_Entrada(puerto);
    Estado.Comunicacion_OK = true;
    const QByteArray bytes(reinterpret_cast<const char *>(datos), static_cast<qsizetype>(n));
    const auto trama = Estado.Trama_Escritura;
    const auto actuales = Estado.Valores_Actuales;
    const QString ruta = QStringLiteral("/fuzz/relay.KV73");

    if (!Leer_Archivo_Bytes(*Banco().enlace, bytes, ruta)) {
        Exige(!Estado.Archivo_Cargado && Estado.Comunicacion_OK &&
                  trama == Estado.Trama_Escritura && actuales == Estado.Valores_Actuales,
              "a refused file changed the program's state");
        return 0;
    }
    Exige(n >= 255, "a file shorter than a record was loaded");
    Exige(Estado.Archivo_Cargado && !Estado.Comunicacion_OK, "a loaded file left the link up");
    for (std::size_t i = 1; i <= 21; ++i)
        Exige(Estado.Trama_Escritura[i] == datos[198 + i], "the setpoint frame is not the file's");
    for (std::size_t i = 1; i <= 34; ++i)
        Exige(Estado.Valores_Actuales[i] == datos[220 + i], "the actual values are not the file's");
    static_cast<void>(Texto_Archivo(ruta));
    static_cast<void>(Json_Archivo(ruta));
    return 0;
}
