// The live page on its own, for bench/soak.sh: the desktop program's host and
// main page, offscreen and never shown, polling a relay through the real serial
// port at the program's own pace (1 s tick, 500 ms poll, setpoints re-read every
// minute) for a set time. It prints its resident memory once a minute and, at
// the end, how the run went: polls, replies taken, bad replies, link failures.
// A lost link is brought up again the way an operator would, with ON a second
// later, so that a failure costs one line of output, not the rest of the run.
//
// With --record FILE the page also records to FILE (as Ctrl+R does) and its
// trend window is open (Ctrl+T), for bench/registro.sh; the CPU time the
// process used is printed at the end either way.
//
// With --bus LIST the bus window (Ctrl+B) is open on the relays LIST names
// ("1-10"), for bench/bus.sh: at the end, the rounds of the bus it measured.
// With --events the Events window (Ctrl+E) is open too.
//
// usage: pagina_viva --device PATH [--minutes N] [--record FILE] [--bus LIST] [--events]

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Operador.h"
#include "enlace/Comunicacion.h"
#include "enlace/Puerto_Sistema.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Conexiones.h"
#include "formularios/Principal.h"
#include "formularios/Registro_Pagina.h"
#include "formularios/Ventana_Bus.h"

#include <QAction>
#include <QLineEdit>
#include <algorithm>
#include <vector>

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

// Nobody at the desk: each message is printed and answered at once.
class Operador_Ausente : public Operador {
  public:
    Respuesta Mensaje(const QString &texto, const QString &titulo, Botones botones,
                      Icono) override {
        ++mensajes;
        std::fprintf(stderr, "pagina_viva: message \"%s\" (%s)\n", qPrintable(texto),
                     qPrintable(titulo));
        return botones == Botones::OK || botones == Botones::OK_Cancel ? Respuesta::OK
                                                                       : Respuesta::Yes;
    }
    QString Caja_Entrada(const QString &, const QString &, const QString &) override { return {}; }
    std::optional<QString> Dialogo_Abrir(const Peticion_Archivo &) override { return std::nullopt; }
    std::optional<QString> Dialogo_Guardar(const Peticion_Archivo &) override {
        return guardar.isEmpty() ? std::nullopt : std::optional<QString>(guardar);
    }

    int mensajes = 0;
    QString guardar; // what a save dialog is answered
};

// VmRSS of this process, in kB.
long Memoria_Residente_kB() {
    QFile estado(QStringLiteral("/proc/self/status"));
    if (!estado.open(QIODevice::ReadOnly))
        return -1;
    // A /proc file has no size: it is read whole, not line by line to its end.
    for (const QByteArray &linea : estado.readAll().split('\n'))
        if (linea.startsWith("VmRSS:"))
            return linea.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

[[noreturn]] void Uso() {
    std::fputs("usage: pagina_viva --device PATH [--minutes N] [--record FILE] [--show] "
               "[--bus LIST] [--events]\n",
               stderr);
    std::exit(2);
}

} // namespace

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QString dispositivo;
    int minutos = 10;
    QString registro;
    bool mostrada = false;
    QString bus;
    bool eventos = false;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--device") && i + 1 < args.size())
            dispositivo = args[++i];
        else if (args[i] == QLatin1String("--minutes") && i + 1 < args.size())
            minutos = args[++i].toInt();
        else if (args[i] == QLatin1String("--record") && i + 1 < args.size())
            registro = args[++i];
        else if (args[i] == QLatin1String("--show"))
            mostrada = true;
        else if (args[i] == QLatin1String("--bus") && i + 1 < args.size())
            bus = args[++i];
        else if (args[i] == QLatin1String("--events"))
            eventos = true;
        else
            Uso();
    }
    if (dispositivo.isEmpty() || minutos < 1)
        Uso();

    // The port opens the device; the launcher's mode makes ON ask nothing.
    Estado.Modo_Linea_Comandos = true;
    auto propio = std::make_unique<Operador_Ausente>();
    Operador_Ausente &operador = *propio;
    auto puerto = std::make_unique<Puerto_Sistema>();
    puerto->Set_Dispositivo(dispositivo);
    Principal host({std::move(puerto), std::move(propio), nullptr, nullptr});
    Conecta_Host(host);
    host.Form_Load();
    auto pagina = std::make_unique<AVPAGE2>(host);
    Conecta_Pagina(*pagina, host);
    pagina->Form_Load();
    // Shown (offscreen), the page paints what each poll changes, as it does on
    // the operator's screen.
    if (mostrada)
        pagina->show();
    int sondeos = 0;
    QObject::connect(&pagina->Timer1, &QTimer::timeout, [&] { ++sondeos; });

    Comunicacion::Cargada(host.Enlace()).Command1_Click();
    if (!Estado.Comunicacion_OK) {
        std::fprintf(stderr, "pagina_viva: no link to the relay on %s\n", qPrintable(dispositivo));
        return 1;
    }

    if (!registro.isEmpty()) {
        // The trend is shown (offscreen) so that its once-a-second redraw runs.
        operador.guardar = registro;
        Registro_Pagina &r = *Registro_Pagina::De(*pagina);
        r.Alterna_Grabacion();
        r.Abre_Tendencia();
        if (!r.Grabando()) {
            std::fprintf(stderr, "pagina_viva: cannot record to %s\n", qPrintable(registro));
            return 1;
        }
        // A lost link ends a recording; the bench records again once it is back.
        QObject::connect(pagina.get(), &AVPAGE2::Sondeo_Hecho,
                         [&r](Estado_Sondeo e, const QDateTime &) {
                             if (e == Estado_Sondeo::Ok && !r.Grabando())
                                 r.Alterna_Grabacion();
                         });
    }

    // The window's key, as the operator presses it.
    const auto abre = [&pagina](QKeyCombination tecla) {
        for (QAction *a : pagina->actions())
            if (a->shortcut() == QKeySequence(tecla))
                a->trigger();
    };
    std::vector<qint64> vueltas;
    if (!bus.isEmpty()) {
        abre(Qt::CTRL | Qt::Key_B);
        Ventana_Bus *ventana = Ventana_Bus_De(*pagina);
        ventana->Lista->setText(bus);
        if (!ventana->Aplica_Lista()) {
            std::fprintf(stderr, "pagina_viva: --bus %s is not a list\n", qPrintable(bus));
            return 1;
        }
        // After the window's own turn: each new round it measured.
        QObject::connect(pagina.get(), &AVPAGE2::Turno_Bus, [ventana, &vueltas] {
            const Sondeo_Bus &sondeo = ventana->Sondeo();
            if (static_cast<std::size_t>(sondeo.Vueltas()) > vueltas.size())
                vueltas.push_back(*sondeo.Vuelta_ms());
        });
    }
    if (eventos)
        abre(Qt::CTRL | Qt::Key_E);

    QTimer vigia;
    QObject::connect(&vigia, &QTimer::timeout, [&] {
        if (!Estado.Comunicacion_OK && !pagina->Timer1.isActive() &&
            Estado.Intercambios_En_Curso == 0)
            Comunicacion::Cargada(host.Enlace()).Command1_Click();
    });
    vigia.start(1000);

    long rss_1 = -1, rss_fin = -1;
    int minuto = 0;
    QTimer reloj;
    QObject::connect(&reloj, &QTimer::timeout, [&] {
        ++minuto;
        const long rss = Memoria_Residente_kB();
        if (minuto == 1)
            rss_1 = rss;
        std::printf("minute %2d: resident %ld kB, %d polls\n", minuto, rss, sondeos);
        std::fflush(stdout);
        if (minuto == minutos) {
            rss_fin = rss;
            reloj.stop();
            vigia.stop();
            pagina->Timer1.stop();
            pagina->Timer2.stop();
            // Not quit(): that closes the windows first, and the page's close
            // would end the program before the figures are printed.
            QCoreApplication::exit(0);
        }
    });
    reloj.start(60000);
    app.exec();

    // What went over the line, as the traffic trace counted it.
    const Contadores_Traza c = host.Traza().Contadores();
    std::printf("polls: %d\nreplies taken: %llu\nbad replies: %llu\nlink failures: %llu\n"
                "messages: %d\n",
                sondeos, static_cast<unsigned long long>(c.respuestas_buenas + c.crc_malos),
                static_cast<unsigned long long>(c.crc_malos),
                static_cast<unsigned long long>(c.fallos_enlace), operador.mensajes);
    std::printf("resident memory: %ld kB after 1 min, %ld kB after %d min, growth %ld kB"
                "   target < 1024 kB\n",
                rss_1, rss_fin, minutos, rss_fin - rss_1);
    if (!vueltas.empty()) {
        std::vector<qint64> orden = vueltas;
        std::sort(orden.begin(), orden.end());
        std::printf("bus rounds: %zu, median %lld ms, min %lld ms, max %lld ms\n", orden.size(),
                    static_cast<long long>(orden[orden.size() / 2]),
                    static_cast<long long>(orden.front()), static_cast<long long>(orden.back()));
    }
    rusage uso{};
    getrusage(RUSAGE_SELF, &uso);
    std::printf("cpu time: %.2f s (user %.2f s, system %.2f s)\n",
                static_cast<double>(uso.ru_utime.tv_sec + uso.ru_stime.tv_sec) +
                    (uso.ru_utime.tv_usec + uso.ru_stime.tv_usec) / 1e6,
                uso.ru_utime.tv_sec + uso.ru_utime.tv_usec / 1e6,
                uso.ru_stime.tv_sec + uso.ru_stime.tv_usec / 1e6);
    pagina.reset();
    Comunicacion::Descarga();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
