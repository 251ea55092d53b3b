// kv73ctl: the relay transactions without a display, for technicians and scripts.
// Exit status: 0 success; 1 usage error or a setpoint value refused; 2 the link
// failed ("Relay Not Response", or the port could not be opened); 3 the relay
// answered but the reply was bad or the relay was refused; 4 a setpoint file
// could not be read, is not a KV-73 file, or could not be written, or the
// report's PDF could not be written.

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Host.h"
#include "comun/Operador.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"
#include "enlace/Puerto_QSerialPort.h"
#include "kv73ctl/Comandos.h"
#include "kv73ctl/Puertos.h"
#include "protocolo/Lectura_Escritura.h"
#include "reporte/Impresion.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Messages go to stderr word for word; questions take their safe answer.
class Operador_Consola : public Operador {
  public:
    Respuesta Mensaje(const QString &texto, const QString &, Botones botones, Icono) override {
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

volatile std::sig_atomic_t interrumpido = 0;

void Al_Interrumpir(int) {
    interrumpido = 1;
}

void Imprime(const QString &texto) {
    std::fputs(qPrintable(texto), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Imprime_Json(const QJsonObject &objeto) {
    Imprime(QString::fromUtf8(QJsonDocument(objeto).toJson(QJsonDocument::Compact)));
}

// --- ident -------------------------------------------------------------------

// Only the registers of a good reply are printed: after a bad one the image
// still holds whatever it held before, zeros in a fresh run.
int Ident(const Opciones &op) {
    const Desenlace d = Transaccion([] { Lee_Identificacion(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(d, "identification read"))
        return fallo;
    QJsonArray registros;
    QStringList textos;
    for (int r = 0; r < 3; ++r) {
        const auto p = static_cast<std::size_t>(2 * r + 4);
        const int valor = Estado.Identificacion[p] * 256 + Estado.Identificacion[p + 1];
        registros.append(valor);
        textos << QStringLiteral("register %1: %2").arg(Hex4(r), Hex4(valor));
    }
    const bool aceptado = Verifica_Identificacion();
    if (op.json) {
        Imprime_Json(
            {{QStringLiteral("registers"), registros}, {QStringLiteral("accepted"), aceptado}});
    } else {
        for (const auto &t : textos)
            Imprime(t);
        Imprime(aceptado ? QStringLiteral("accepted: a KV-73 relay")
                         : QStringLiteral("refused: not a KV-73 relay"));
    }
    return aceptado ? 0 : 3;
}

// --- setpoints ---------------------------------------------------------------

int Setpoints(const Opciones &op) {
    const Desenlace d = Transaccion([] { Lee_Setpoints(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(d, "setpoint read"))
        return fallo;
    const Imagen_Setpoints s = Lee_Imagen_Setpoints();
    if (op.json)
        Imprime_Json(Json_Setpoints(s));
    else
        for (const auto &linea : Texto_Setpoints(s))
            Imprime(linea);
    return 0;
}

// --- values / watch ----------------------------------------------------------

// One poll, printed only when its reply was good; a bad one is said on stderr.
int Un_Sondeo(const Opciones &op, qint64 *microsegundos) {
    QElapsedTimer reloj;
    reloj.start();
    const Desenlace d = Transaccion([] { Lee_Valores_Actuales(Estado.Direccion_Rele); });
    const qint64 us = reloj.nsecsElapsed() / 1000;
    if (microsegundos)
        *microsegundos = us;
    if (const int fallo = Salida_Lectura(d, "actual-values poll"))
        return fallo;
    const Lectura_Actual v = Lee_Lectura_Actual();
    if (op.json) {
        QJsonObject o = Json_Valores(v);
        if (microsegundos)
            o.insert(QStringLiteral("latency_us"), us);
        Imprime_Json(o);
    } else {
        Imprime(Texto_Valores(v));
    }
    return 0;
}

int Values(const Opciones &op) {
    return Un_Sondeo(op, nullptr);
}

int Watch(const Opciones &op) {
    std::signal(SIGINT, Al_Interrumpir);
    std::signal(SIGTERM, Al_Interrumpir);
    QElapsedTimer inicio;
    inicio.start();
    int estado_salida = 0;
    for (int n = 0; op.cuenta <= 0 || n < op.cuenta; ++n) {
        if (interrumpido)
            break;
        qint64 us = 0;
        const int r = Un_Sondeo(op, &us);
        if (r == 2)
            return 2;
        // A bad reply spoils one poll, not the watch: the next one may be good.
        if (r == 3)
            estado_salida = 3;
        if (op.cuenta > 0 && n + 1 >= op.cuenta)
            break;
        // Polls keep their pace from the start, not from the end of the last one.
        const qint64 siguiente = static_cast<qint64>(n + 1) * op.intervalo_ms;
        const qint64 falta = siguiente - inicio.elapsed();
        if (falta > 0) {
            bool listo = false;
            QTimer::singleShot(static_cast<int>(falta), Qt::PreciseTimer,
                               [&listo] { listo = true; });
            while (!listo && !interrumpido)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    return estado_salida;
}

// --- reset-max ---------------------------------------------------------------

// The core tells the outcome itself: "Command Executed" or "Error executing command".
int Reset_Max(const Opciones &) {
    int32_t comando = 16;
    const Desenlace d =
        Transaccion([&comando] { Ejecuta_Comando(Estado.Direccion_Rele, comando); });
    if (const int fallo = Resultado_Enlace())
        return fallo;
    return d == Desenlace::Mala ? 3 : 0;
}

// --- save, show, send, set ----------------------------------------------------

void Imprime_Archivo(const Opciones &op, const QString &ruta) {
    if (op.json)
        Imprime_Json(Json_Archivo(ruta));
    else
        for (const auto &linea : Texto_Archivo(ruta))
            Imprime(linea);
}

// The reads of the link bring-up, then the file: what it holds is printed.
int Save(const Opciones &op) {
    if (const int fallo = Lecturas_De_Arranque(true))
        return fallo;
    const QString &ruta = op.argumentos.first();
    if (!Escribir_Archivo(ruta))
        return 4;
    Imprime_Archivo(op, ruta);
    return 0;
}

// Setpoints out of range are shown, marked: the file is only looked at.
int Show(const Opciones &op) {
    const QString &ruta = op.argumentos.first();
    if (!Leer_Archivo_Para_Ver(ruta))
        return 4;
    Imprime_Archivo(op, ruta);
    return 0;
}

// The file was loaded, and its setpoints checked against the editors' ranges,
// before the link opened; they go out as they are, and the relay's answer is
// the message printed.
int Send(const Opciones &) {
    const Desenlace d = Transaccion([] { Escribe_Setpoints(Estado.Direccion_Rele); });
    if (const int fallo = Resultado_Enlace())
        return fallo;
    return d == Desenlace::Mala ? 3 : 0;
}

int Set(const Opciones &op, const Cambios_Setpoints &cambios) {
    const int resultado = Cambia_Setpoints(cambios);
    if (resultado != 0)
        return resultado;
    const Imagen_Setpoints s = Lee_Imagen_Setpoints();
    if (op.json)
        Imprime_Json(Json_Setpoints(s));
    else
        for (const auto &linea : Texto_Setpoints(s))
            Imprime(linea);
    return 0;
}

// --- report -------------------------------------------------------------------

int Escribe_Reporte(const Opciones &op, Temperaturas origen) {
    if (!Reporte_Pdf(op.pdf, Textos_Desde_Imagenes(), origen)) {
        std::fprintf(stderr, "kv73ctl: the report could not be written to %s\n",
                     qPrintable(op.pdf));
        return 4;
    }
    return 0;
}

// A file's report shows the temperatures stored in it: a file is never the
// live relay, and a page of "Fco" would tell its reader nothing.
int Report_Archivo(const Opciones &op) {
    if (!Leer_Archivo(op.argumentos.first()))
        return 4;
    return Escribe_Reporte(op, Temperaturas::Guardadas);
}

// The relay's report: its setpoints and one poll, printed as the main page
// would print them with the link up.
int Report_Rele(const Opciones &op) {
    const Desenlace s = Transaccion([] { Lee_Setpoints(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(s, "setpoint read"))
        return fallo;
    const Desenlace v = Transaccion([] { Lee_Valores_Actuales(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(v, "actual-values poll"))
        return fallo;
    return Escribe_Reporte(op, Temperaturas::Segun_Enlace);
}

// The report draws a page with widgets, which needs a GUI application; the other
// commands stay without one so they run where no GUI library can start. The page
// is never shown, so no display is needed either.
std::unique_ptr<QCoreApplication> Aplicacion(int &argc, char **argv, const Opciones &op) {
    if (op.comando != QLatin1String("report"))
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

} // namespace

int main(int argc, char **argv) {
    // The command decides which application object to make, so the command line
    // is read before there is one.
    QStringList argumentos;
    for (int i = 0; i < argc; ++i)
        argumentos << QString::fromLocal8Bit(argv[i]);
    Opciones op;
    if (const auto salida = Analiza_Linea_Comandos(argumentos, op))
        return *salida;
    const auto aplicacion = Aplicacion(argc, argv, op);
    QCoreApplication::setApplicationName(QStringLiteral("kv73ctl"));

    Operador_Consola consola;
    Ventanas_En_Memoria ventanas;
    Temporizador_Comunicacion timer;
    Puerto_QSerialPort puerto;
    Host() = Recursos_Host{&puerto, &timer, &consola, &ventanas};
    Estado.Direccion_Rele = op.direccion;

    // What can be refused without the relay is refused before the port opens.
    const QString &c = op.comando;
    if (c == QLatin1String("ports"))
        return Comando_Ports(op.json);
    if (c == QLatin1String("show"))
        return Show(op);
    if (c == QLatin1String("report") && !op.argumentos.isEmpty())
        return Report_Archivo(op);
    Cambios_Setpoints cambios;
    if (c == QLatin1String("set")) {
        if (const auto error = Analiza_Cambios(op.argumentos, cambios)) {
            std::fprintf(stderr, "kv73ctl: %s; nothing was sent\n", qPrintable(*error));
            return 1;
        }
    }
    if (c == QLatin1String("send") && !Leer_Archivo(op.argumentos.first()))
        return 4;

    if (const int fallo = Abre_Enlace(op, puerto))
        return fallo;

    if (c == QLatin1String("ident"))
        return Ident(op);
    if (c == QLatin1String("setpoints"))
        return Setpoints(op);
    if (c == QLatin1String("values"))
        return Values(op);
    if (c == QLatin1String("watch"))
        return Watch(op);
    if (c == QLatin1String("reset-max"))
        return Reset_Max(op);
    if (c == QLatin1String("save"))
        return Save(op);
    if (c == QLatin1String("send"))
        return Send(op);
    if (c == QLatin1String("set"))
        return Set(op, cambios);
    if (c == QLatin1String("report"))
        return Report_Rele(op);
    return 1;
}
