// The program's entry: started by an operator (no arguments) or by a launching
// program with the link parameters on its command line.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Linea_Comandos.h"
#include "comun/Texto.h"
#include "comun/Version.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Arranque_Pagina.h"
#include "formularios/Conexiones.h"
#include "formularios/Principal.h"
#include "formularios/frmSplash.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

// The whole command line as one text, as a launching program wrote it.
QString Linea_De(int argc, char **argv) {
    QStringList palabras;
    for (int i = 1; i < argc; ++i)
        palabras << QString::fromLocal8Bit(argv[i]);
    return palabras.join(QLatin1Char(' '));
}

// Shows the splash until one second has passed since `desde` (a monotonic clock:
// midnight does not matter), or until a key or a click closes it.
void Espera_Splash(frmSplash &splash, const QElapsedTimer &desde) {
    const qint64 falta = 1000 - desde.elapsed();
    if (falta > 0 && splash.isVisible()) {
        QEventLoop bucle;
        QTimer::singleShot(static_cast<int>(falta), Qt::PreciseTimer, &bucle, &QEventLoop::quit);
        bucle.exec();
    }
    splash.close();
}

// What the command line asks of the run: an answer printed at once (help,
// version, a line that does not fit) and the program's exit status, or the run,
// by an operator (with a setpoint file to open, or none) or by a launching
// program with the link parameters.
struct Pedido_Linea {
    std::optional<int> salida{}; // the program ends at once with it
    bool linea_comandos = false;
    Parametros_Enlace parametros{};
    QString archivo{};
};

// A line that does not fit: the reason and the expected form, and status 1.
Pedido_Linea Rechaza(const QString &razon) {
    std::fprintf(stderr, "kv73: %s\n%s", qPrintable(razon), qPrintable(Forma_Linea_Kv73()));
    return {.salida = 1};
}

// The one word that names a setpoint file, as the system names it: a name that
// is not UTF-8 would open another file, or none.
Pedido_Linea Pide_Archivo(const char *palabra) {
    const auto ruta = Nombre_Del_Sistema(QByteArray(palabra));
    if (!ruta)
        return Rechaza(
            QStringLiteral("the file name %1 is not UTF-8").arg(QString::fromLocal8Bit(palabra)));
    return {.archivo = *ruta};
}

Pedido_Linea Lee_Linea(int argc, char **argv) {
    const QString linea = Linea_De(argc, argv).trimmed();
    if (linea == QLatin1String("--help") || linea == QLatin1String("-h")) {
        std::fputs(qPrintable(Forma_Linea_Kv73()), stdout);
        return {.salida = 0};
    }
    if (linea == QLatin1String("--version") || linea == QLatin1String("-v")) {
        std::printf("kv73 %s\n", KV73_VERSION);
        return {.salida = 0};
    }
    if (linea.isEmpty())
        return {};
    // A launcher's line first, whatever else it might name: launchers run as before.
    const auto analisis = Analiza_Linea_Kv73(linea);
    if (const auto *parametros = std::get_if<Parametros_Enlace>(&analisis))
        return {.linea_comandos = true, .parametros = *parametros};
    // The file manager opens a setpoint file with its name as the one word.
    if (argc == 2 && Es_Archivo_De_Setpoints(QString::fromLocal8Bit(argv[1])))
        return Pide_Archivo(argv[1]);
    return Rechaza(std::get<QString>(analisis));
}

// The program's names and icon, and a run that ends by its own Exit only.
void Prepara_Aplicacion() {
    QApplication::setApplicationName(QStringLiteral("KV-73"));
    QApplication::setApplicationVersion(QStringLiteral(KV73_VERSION));
    // Every window carries the icon of the desktop entry, which names it kv73.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kv73/kv73.svg")));
    QApplication::setDesktopFileName(QStringLiteral("kv73"));
    QApplication::setQuitOnLastWindowClosed(false);
}

// Loads the host. A launching program's link comes up at once, through the
// settings dialog's ON; an operator gets the splash meanwhile, returned to be
// shown until the page is ready.
std::unique_ptr<frmSplash> Carga_Host(Principal &host, const Pedido_Linea &pedido) {
    Estado.Modo_Linea_Comandos = pedido.linea_comandos;
    Estado.Ocupado = false;
    if (pedido.linea_comandos) {
        Estado.Velocidad = pedido.parametros.velocidad;
        Estado.Puerto_Com = pedido.parametros.puerto;
        Estado.Direccion_Rele = pedido.parametros.direccion;
        // The settings dialog's ON uses the host's port: the host loads first.
        host.Form_Load();
        Comunicacion &dialogo = Comunicacion::Cargada(host.Enlace());
        dialogo.Command1_Click();
        return nullptr;
    }
    auto splash = std::make_unique<frmSplash>();
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();
    host.Form_Load();
    return splash;
}

// The loaded page, after the splash's second, in the middle of the screen, or
// scrolling in a window of the screen's size when it does not fit: that window.
std::unique_ptr<Marco_Pagina> Muestra_Pagina(AVPAGE2 &pagina, frmSplash *splash) {
    if (splash) {
        QElapsedTimer cargado;
        cargado.start();
        Espera_Splash(*splash, cargado);
    }
    const QScreen *pantalla = QGuiApplication::primaryScreen();
    return Muestra_En_Pantalla(pagina, pantalla ? pantalla->availableGeometry() : QRect());
}

} // namespace

int main(int argc, char **argv) {
    const Pedido_Linea pedido = Lee_Linea(argc, argv);
    if (pedido.salida)
        return *pedido.salida;

    // The link parameters are not Qt's options: Qt must not see them.
    int argc_qt = 1;
    QApplication aplicacion(argc_qt, argv);
    Prepara_Aplicacion();

    Principal host;
    Conecta_Host(host);
    const std::unique_ptr<frmSplash> splash = Carga_Host(host, pedido);

    AVPAGE2 pagina(host);
    Conecta_Pagina(pagina, host);
    pagina.Form_Load();
    const std::unique_ptr<Marco_Pagina> marco = Muestra_Pagina(pagina, splash.get());
    if (!pedido.archivo.isEmpty())
        Abre_Archivo_Inicial(pagina, host.Enlace(), pedido.archivo);
    const int estado = QApplication::exec();
    // A launcher's ON leaves the settings dialog loaded: it goes before the
    // application object does, as every window must.
    Comunicacion::Descarga();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return estado;
}
