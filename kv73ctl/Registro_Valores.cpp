#include "kv73ctl/Registro_Valores.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Puerto_Serie.h"
#include "kv73ctl/Comandos.h"
#include "kv73ctl/Diario_Consola.h"
#include "kv73ctl/Sondeo.h"
#include "protocolo/Enlace_Rele.h"
#include "registro/Archivo_Csv.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Why the port would not open, said once for each new reason, not at every
// poll of an outage.
QString ultimo_motivo;

void Dice_Motivo(const QString &motivo) {
    if (motivo == ultimo_motivo)
        return;
    ultimo_motivo = motivo;
    if (!motivo.isEmpty())
        std::fprintf(stderr, "kv73ctl: %s\n", qPrintable(motivo));
}

QString Motivo(const Opciones &op, const Puerto_Serie &puerto) {
    return QStringLiteral("cannot open %1: %2").arg(Dispositivo_Opciones(op), puerto.Error_Texto());
}

// A direct line that will not open says why once for the whole outage; a call
// dialled again says what the dial-up says.
bool Reabre(const Opciones &op, Enlace_Rele &enlace) {
    const bool abierto = Reabre_Enlace(op, enlace);
    if (op.telefono.isEmpty())
        Dice_Motivo(abierto ? QString() : Motivo(op, enlace.MSComm1()));
    return abierto;
}

// A row's poll as the exit status counts it.
int Salida_De(Estado_Sondeo e) {
    switch (e) {
    case Estado_Sondeo::Ok:
        return 0;
    case Estado_Sondeo::Mala:
        return 3;
    case Estado_Sondeo::Sin_Respuesta:
        break;
    }
    return 2;
}

// Where log writes its rows: the file of --csv, or standard output for
// `--csv -`, where each row is flushed as it comes for the program reading
// the pipe. Nothing else log says goes to standard output.
struct Destino_Csv {
    Archivo_Csv archivo;
    bool salida_estandar = false;

    bool Abre(const QString &ruta, bool con_direccion, QString &error) {
        salida_estandar = ruta == QLatin1String("-");
        if (!salida_estandar)
            return archivo.Abre(ruta, con_direccion, error);
        return Escribe_Salida(Cabecera_Csv(con_direccion), error);
    }
    bool Escribe(const Fila_Registro &fila, QString &error) {
        return salida_estandar ? Escribe_Salida(Linea_Csv(fila), error)
                               : archivo.Escribe(fila, error);
    }
    static bool Escribe_Salida(const QString &texto, QString &error) {
        const QByteArray bytes = texto.toUtf8();
        if (std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout) ==
                static_cast<std::size_t>(bytes.size()) &&
            std::fflush(stdout) == 0)
            return true;
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
};

QString Nombre_Csv(const Opciones &op) {
    return op.csv == QLatin1String("-") ? QStringLiteral("the standard output") : op.csv;
}

} // namespace

Fila_Registro Sondea_Direccion(const Opciones &op, Enlace_Rele &enlace, int direccion) {
    const QDateTime hora = QDateTime::currentDateTime();
    if (!enlace.MSComm1().PortOpen() && !Reabre(op, enlace))
        return Fila_Del_Sondeo(Estado_Sondeo::Sin_Respuesta, hora);
    // A link failure took the flag down with the port; the port is open again.
    Estado.Comunicacion_OK = true;
    const Desenlace d = Transaccion(
        enlace, [&] { return enlace.Lee_Valores_Actuales(static_cast<uint8_t>(direccion)); });
    return Fila_Del_Sondeo(Estado_De(d), hora);
}

int Comando_Log(const Opciones &op, Enlace_Rele &enlace) {
    Destino_Csv archivo;
    QString error;
    // Several relays logged together: each row names its relay.
    const bool varias = op.direcciones.size() > 1;
    if (!archivo.Abre(op.csv, varias, error)) {
        std::fprintf(stderr, "kv73ctl: cannot write %s: %s\n", qPrintable(Nombre_Csv(op)),
                     qPrintable(error));
        return 4;
    }
    Atiende_Interrupciones();
    // Lamp changes and the links' ups and downs go into the event journal.
    Diario_Consola diario(Dispositivo_Opciones(op));
    // The first opening says why it fails; the rows say the rest.
    if (Abre_Enlace(op, enlace) != 0)
        ultimo_motivo = Motivo(op, enlace.MSComm1());
    QElapsedTimer reloj;
    reloj.start();
    qint64 siguiente = 0;
    // A log whose relay never answered has failed, however long it ran: a
    // script must learn it from the status, as it does from values and watch.
    int estado_salida = 0;
    for (int n = 0; (op.cuenta <= 0 || n < op.cuenta) && !Interrumpido(); ++n) {
        Espera_Hasta_Ms(reloj, siguiente);
        if (Interrumpido())
            break;
        // The relays of one round in turn; a silent one is a row and the
        // next is polled all the same.
        for (const int direccion : op.direcciones) {
            Fila_Registro fila = Sondea_Direccion(op, enlace, direccion);
            // A poll the signal cut short was not left unanswered by the relay:
            // it makes no row, and does not count against the log.
            if (Interrumpido() && fila.estado == Estado_Sondeo::Sin_Respuesta)
                break;
            if (varias)
                fila.direccion = direccion;
            diario.Tras_Sondeo(direccion, fila.estado, fila.luces, fila.hora,
                               enlace.MSComm1().Perdido());
            estado_salida = Peor_Estado(estado_salida, Salida_De(fila.estado));
            if (!archivo.Escribe(fila, error)) {
                std::fprintf(stderr, "kv73ctl: cannot write %s: %s\n", qPrintable(Nombre_Csv(op)),
                             qPrintable(error));
                return 4;
            }
            if (Interrumpido())
                break;
        }
        // The pace is kept from the start; a poll that outlasted its interval
        // (a silent relay) is not made up for by a burst of polls.
        siguiente = std::max(siguiente + op.intervalo_ms, reloj.elapsed());
    }
    return estado_salida;
}
