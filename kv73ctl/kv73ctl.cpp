// kv73ctl: the relay transactions without a display, for technicians and scripts.
// Exit status: 0 success; 1 usage error or a setpoint value refused; 2 the link
// failed ("Relay Not Response", or the port could not be opened); 3 the relay
// answered but the reply was bad or the relay was refused; 4 a setpoint file
// could not be read, is not a KV-73 file, or could not be written, or the
// report's PDF could not be written. With several addresses, `values` and
// `watch` end with 2 when any relay failed to answer, else 3 when a reply was
// bad, and so does `log` with any number of addresses; `scan` ends with 0 when
// a relay answered, 3 when only bad replies came, 2 when nothing answered.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Operador.h"
#include "comun/Temporizador.h"
#include "comun/Texto.h"
#include "enlace/Puerto_Sistema.h"
#include "kv73ctl/Carga_Reporte.h"
#include "kv73ctl/Comandos.h"
#include "kv73ctl/Ordenes.h"
#include "kv73ctl/Traza_Consola.h"
#include "protocolo/Enlace_Rele.h"
#include "protocolo/Lectura_Escritura.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

// Messages go to stderr word for word; questions take their safe answer.
class Operador_Consola : public Operador {
  public:
    // The agent says a relay's silence once, by its address, instead of at
    // every poll of it.
    bool calla_silencio = false;

    Respuesta Mensaje(const QString &texto, const QString &, Botones botones, Icono) override {
        if (!(calla_silencio && texto == Textos_Protocolo::Rele_No_Responde))
            std::fprintf(stderr, "%s\n", qPrintable(texto));
        std::fflush(stderr);
        switch (botones) {
        case Botones::OK:
        case Botones::OK_Cancel:
            return Respuesta::OK;
        case Botones::Yes_No:
        case Botones::Yes_No_Cancel:
            return Respuesta::No;
        }
        return Respuesta::OK;
    }
    QString Caja_Entrada(const QString &, const QString &, const QString &defecto) override {
        return defecto;
    }
    std::optional<QString> Dialogo_Abrir(const Peticion_Archivo &) override { return std::nullopt; }
    std::optional<QString> Dialogo_Guardar(const Peticion_Archivo &) override {
        return std::nullopt;
    }
};

// The report draws a page with fonts, which needs a GUI application, made by
// the report module; the other commands stay without one (and without QtGui)
// so they run where no display platform can start, and start quickly.
std::unique_ptr<QCoreApplication> Aplicacion(int &argc, char **argv, const Opciones &op) {
    if (op.comando != QLatin1String("report"))
        return std::make_unique<QCoreApplication>(argc, argv);
    return Aplicacion_Reporte(argc, argv);
}

} // namespace

int main(int argc, char **argv) {
    // A name that is not UTF-8 cannot be opened as given: the file read or
    // written would be another one. It is refused, in its own bytes, before
    // anything is read, written or opened.
    if (const char *palabra = Palabra_Sin_Nombre(argc, argv)) {
        std::fprintf(stderr,
                     "kv73ctl: %s: not UTF-8; names are read as UTF-8, so no file or device "
                     "of this name can be opened: nothing was done\n",
                     palabra);
        return 1;
    }
    // The command decides which application object to make, so the command line
    // is read before there is one.
    QStringList argumentos;
    for (int i = 0; i < argc; ++i)
        argumentos << QFile::decodeName(argv[i]);
    Opciones op;
    if (const auto salida = Analiza_Linea_Comandos(argumentos, Ordenes, op))
        return *salida;
    const auto aplicacion = Aplicacion(argc, argv, op);
    QCoreApplication::setApplicationName(QStringLiteral("kv73ctl"));

    Operador_Consola consola;
    consola.calla_silencio = op.comando == QLatin1String("serve");
    Ventanas_En_Memoria ventanas;
    Temporizador_Comunicacion timer;
    Puerto_Sistema puerto;
    std::optional<Traza_Consola> traza;
    if (op.traza)
        traza.emplace(puerto);
    // --device names the device whatever the port number: the port is told so.
    puerto.Set_Dispositivo(op.dispositivo);
    Enlace_Rele enlace(traza ? traza->Puerto() : puerto, timer, consola, ventanas);
    if (traza)
        enlace.Set_Traza(&traza->Traza());
    Estado.Direccion_Rele = static_cast<uint8_t>(op.direccion);
    // An exception reply is the relay's answer, said as such; the main page
    // waits it out instead.
    Estado.Excepcion_Termina = true;
    Atiende_Interrupciones();
    const int estado = Busca_Orden(Ordenes, op.comando)->ejecuta(op, enlace);
    // A command stopped by a signal before it finished ends with 130; watch,
    // log and serve run until one comes, and say how their polls went.
    const bool hasta_interrumpir = op.comando == QLatin1String("watch") ||
                                   op.comando == QLatin1String("log") ||
                                   op.comando == QLatin1String("serve");
    return Interrumpido() && !hasta_interrumpir ? 130 : estado;
}
