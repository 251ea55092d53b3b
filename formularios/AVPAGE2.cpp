#include "formularios/AVPAGE2.h"
#include "formularios/AVPAGE2_Piezas.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Operador.h"
#include "comun/Texto.h"
#include "controles/UserControl1.h"
#include "controles/Word_UnR.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Puerto_Serie.h"
#include "formularios/Disposicion.h"
#include "formularios/Herramientas_Pagina.h"
#include "formularios/Principal.h"
#include "formularios/Ventana_Bus.h"
#include "formularios/Ventana_Trafico.h"
#include "protocolo/Lectura_Escritura.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QtEndian>
#include <cstdio>
#include <utility>
#include <vector>

namespace TP = Textos_Protocolo;

QFont Letra(const QString &familia, double puntos, bool negrita, bool cursiva) {
    QFont f(familia);
    f.setPointSizeF(puntos);
    f.setBold(negrita);
    f.setItalic(cursiva);
    return f;
}

QFrame *Marco(const QString &titulo, QWidget *padre, QRect lugar) {
    QFrame *marco;
    if (titulo.isEmpty()) {
        marco = new QFrame(padre);
    } else {
        auto *grupo = new QFrame(padre);
        auto *rotulo = new QLabel(titulo, grupo);
        rotulo->setFont(Letra(QStringLiteral("Sans Serif"), 7.8, true));
        rotulo->move(10, 0);
        marco = grupo;
    }
    marco->setGeometry(lugar);
    marco->setFrameShape(QFrame::Box);
    marco->setFrameShadow(QFrame::Sunken);
    return marco;
}

QFrame *Linea(QWidget *padre, QRect lugar) {
    auto *l = new QFrame(padre);
    l->setFrameShape(lugar.height() <= 2 ? QFrame::HLine : QFrame::VLine);
    l->setFrameShadow(QFrame::Sunken);
    l->setGeometry(lugar);
    return l;
}

AVPAGE2::AVPAGE2(Principal &host) : QWidget(nullptr), host_(host) {
    setWindowTitle(QStringLiteral("KV-73"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    Timer1.setInterval(500);
    Timer2.setInterval(60000);
    connect(&Timer1, &QTimer::timeout, this, &AVPAGE2::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &AVPAGE2::Timer2_Timer);
    Construye();
}

AVPAGE2::~AVPAGE2() = default;

void AVPAGE2::Construye() {
    auto *Label4 = Etiqueta(QStringLiteral("KV - 73"), this, 48, 32, 240, 54);
    Label4->setFont(Letra(QStringLiteral("Arial"), 36, true, true));
    auto *Label3 = Etiqueta(QStringLiteral("VELTRA  SISTEMI"), this, 560, 60, 210, 27);
    Label3->setFont(Letra(QStringLiteral("Arial"), 18, true, true));
    Line2 = Linea(this, QRect(0, 88, 792, 2));

    UserControl11 = new UserControl1(this);
    UserControl11->move(24, 112);
    // A page that saves nothing would get a disabled panel; the page's panel
    // takes no input of its own, and is shown enabled.
    UserControl11->Set_Enabled(true);

    Construye_Setpoints();
    Construye_Actuales();
    Construye_Menu();
    Construye_Barra();
    Instala_Ventana_Trafico(*this, *Barra_Estado, host_);
    Instala_Ventana_Bus(*this, host_);
    Instala_Herramientas(*this, *Barra_Estado);
    Ordena_Tabulacion();
    setFixedSize(792, Alto_Pagina + Barra_Estado->height());
}

// Tab follows the setpoint area down from RTD Quantity, then STORE, which sends
// what was just set, then Clear of the actual values below, then the menu. An
// editor is ordered by its text box, the part that takes the focus.
void AVPAGE2::Ordena_Tabulacion() {
    std::vector<QWidget *> orden = {
        Combo[0], Word_UnR_[0]->focusProxy(), Word_UnR_[1]->focusProxy(), Combo[1], Combo[2],
        Combo[3], Word_UnR_[2]->focusProxy(), Word_UnR_[3]->focusProxy(), Command1, Reset};
    orden.insert(orden.end(), Menu.begin(), Menu.end());
    for (std::size_t i = 1; i < orden.size(); ++i)
        setTabOrder(orden[i - 1], orden[i]);
}

void AVPAGE2::Construye_Barra() {
    Barra_Estado = new QStatusBar(this);
    Barra_Estado->setSizeGripEnabled(false);
    for (int n = 0; n < 6; ++n) {
        Paneles[n] = new QLabel(Barra_Estado);
        Paneles[n]->setFrameShape(QFrame::Panel);
        Paneles[n]->setFrameShadow(QFrame::Sunken);
        Barra_Estado->addWidget(Paneles[n], n >= 2 ? 1 : 0);
    }
    Barra_Estado->setGeometry(0, Alto_Pagina, 792, 24);
    auto *reloj = new QTimer(this);
    const auto fecha_hora = [this] {
        const QDateTime ahora = QDateTime::currentDateTime();
        Paneles[0]->setText(QLocale::system().toString(ahora.date(), QLocale::ShortFormat));
        Paneles[1]->setText(QLocale::system().toString(ahora.time(), QLocale::ShortFormat));
    };
    connect(reloj, &QTimer::timeout, this, fecha_hora);
    reloj->start(10000);
    fecha_hora();
}

Enlace_Rele &AVPAGE2::Enlace() {
    return host_.Enlace();
}

void AVPAGE2::Form_Load() {
    for (int n = 3; n <= 6; ++n)
        Paneles[n - 1]->setText(host_.Panel(n));
    connect(&host_, &Principal::Panel_Cambiado, this, [this](int n, const QString &texto) {
        if (n >= 3)
            Paneles[n - 1]->setText(texto);
    });
    connect(&host_, &Principal::Caption_Cambiado, this, [this](const QString &texto) {
        setWindowTitle(texto.isEmpty() ? QStringLiteral("KV-73") : texto);
    });
    Reiniciar_Enlace(Enlace());
    UserControl11->Desactivar();
    Frame3_MouseMove();
    if (Estado.Comunicacion_OK)
        Enlace().Lee_Setpoints(Estado.Direccion_Rele);
    Actualiza_Valores_de_Pantalla();
    Actualiza_Valores_de_Pantalla_SP();
    Arranca_Sondeo();
    Timer2.start();
}

void AVPAGE2::showEvent(QShowEvent *evento) {
    QWidget::showEvent(evento);
    Form_Activate();
}

void AVPAGE2::Form_Activate() {
    if (Estado.Modo_Linea_Comandos)
        Escribe_Estado(1);
    Line2->setGeometry(0, Line2->y(), width(), Line2->height());
}

void AVPAGE2::closeEvent(QCloseEvent *evento) {
    if (!Deja_Ediciones()) {
        evento->ignore();
        return;
    }
    QWidget::closeEvent(evento);
    Form_Unload();
}

bool AVPAGE2::Deja_Ediciones() {
    if (!Estado.Edicion_Pendiente)
        return true;
    // STORE is still amber: leaving now would lose what the operator set.
    return host_.Dialogo1().Mensaje(QStringLiteral("The setpoints you edited have not been sent "
                                                   "to the relay. Leave without sending them?"),
                                    QStringLiteral("Exit KV - 73"), Botones::Yes_No,
                                    Icono::Exclamacion) == Respuesta::Yes;
}

void AVPAGE2::Form_Unload() {
    if (Estado.Modo_Linea_Comandos) {
        Puerto_Serie &puerto = host_.MSComm1();
        if (puerto.PortOpen()) {
            puerto.Output(QByteArray(1, '\0'));
            puerto.Set_PortOpen(false);
        }
        Escribe_Estado(2);
    }
    host_.Termina_Programa();
}

QString Ruta_Archivo_Estado() {
    if (qEnvironmentVariableIsSet("KV73_STATUS_FILE")) {
        // A name that is not UTF-8 would come back from Qt's text as another
        // one: the launcher would wait on its file while another is written.
        const QByteArray bytes = qgetenv("KV73_STATUS_FILE");
        const auto ruta = Nombre_Del_Sistema(bytes);
        static bool dicho = false;
        if (!ruta && !std::exchange(dicho, true))
            std::fprintf(stderr, "kv73: KV73_STATUS_FILE %s is not UTF-8: no status is written\n",
                         bytes.constData());
        return ruta.value_or(QString());
    }
#ifdef Q_OS_WIN
    const QString ruta = QStringLiteral("c:\\windows\\escritorio\\prueba.txt");
    return QFileInfo(ruta).dir().exists() ? ruta : QString();
#else
    // The launcher's place is a Windows folder: elsewhere it is named by KV73_STATUS_FILE.
    return QString();
#endif
}

void AVPAGE2::Escribe_Estado(int16_t valor) {
    const QString ruta = Ruta_Archivo_Estado();
    if (ruta.isEmpty())
        return;
    // Record 1 is the first two bytes; the rest of the file is the launcher's.
    QFile archivo(ruta);
    if (!archivo.open(QIODevice::ReadWrite))
        return;
    uchar bytes[2];
    qToLittleEndian<int16_t>(valor, bytes);
    archivo.write(reinterpret_cast<const char *>(bytes), 2);
}
