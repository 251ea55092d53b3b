// The program's entry: started by an operator (no arguments) or by a launching
// program with the link parameters on its command line.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Linea_Comandos.h"
#include "comun/Version.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
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

} // namespace

int main(int argc, char **argv) {
    const QString linea = Linea_De(argc, argv).trimmed();
    if (linea == QLatin1String("--help") || linea == QLatin1String("-h")) {
        std::fputs(qPrintable(Forma_Linea_Kv73()), stdout);
        return 0;
    }
    if (linea == QLatin1String("--version") || linea == QLatin1String("-v")) {
        std::printf("kv73 %s\n", KV73_VERSION);
        return 0;
    }
    Parametros_Enlace parametros{};
    const bool linea_comandos = !linea.isEmpty();
    if (linea_comandos) {
        const auto analisis = Analiza_Linea_Kv73(linea);
        if (const QString *error = std::get_if<QString>(&analisis)) {
            std::fprintf(stderr, "kv73: %s\n%s", qPrintable(*error),
                         qPrintable(Forma_Linea_Kv73()));
            return 1;
        }
        parametros = std::get<Parametros_Enlace>(analisis);
    }

    // The link parameters are not Qt's options: Qt must not see them.
    int argc_qt = 1;
    QApplication aplicacion(argc_qt, argv);
    QApplication::setApplicationName(QStringLiteral("KV-73"));
    QApplication::setApplicationVersion(QStringLiteral(KV73_VERSION));
    // Every window carries the icon of the desktop entry, which names it kv73.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kv73/kv73.svg")));
    QApplication::setDesktopFileName(QStringLiteral("kv73"));
    QApplication::setQuitOnLastWindowClosed(false);

    Principal host;
    Conecta_Host(host);
    Estado.Modo_Linea_Comandos = linea_comandos;
    Estado.Ocupado = false;
    std::unique_ptr<frmSplash> splash;
    QElapsedTimer cargado;
    if (linea_comandos) {
        Estado.Velocidad = parametros.velocidad;
        Estado.Puerto_Com = parametros.puerto;
        Estado.Direccion_Rele = parametros.direccion;
        // The settings dialog's ON uses the host's port: the host loads first.
        host.Form_Load();
        Comunicacion &dialogo = Comunicacion::Cargada(host.Enlace());
        dialogo.Command1_Click();
    } else {
        splash = std::make_unique<frmSplash>();
        splash->show();
        splash->repaint();
        QCoreApplication::processEvents();
        host.Form_Load();
    }

    AVPAGE2 pagina(host);
    Conecta_Pagina(pagina, host);
    pagina.Form_Load();
    if (splash) {
        cargado.start();
        Espera_Splash(*splash, cargado);
    }
    if (const QScreen *pantalla = QGuiApplication::primaryScreen())
        pagina.move(pantalla->availableGeometry().center() - pagina.rect().center());
    pagina.show();
    const int estado = QApplication::exec();
    // A launcher's ON leaves the settings dialog loaded: it goes before the
    // application object does, as every window must.
    Comunicacion::Descarga();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return estado;
}
