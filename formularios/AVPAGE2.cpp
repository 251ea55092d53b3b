#include "formularios/AVPAGE2.h"

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Host.h"
#include "comun/Operador.h"
#include "comun/Texto.h"
#include "controles/Bolsa_Propiedades.h"
#include "controles/UserControl1.h"
#include "controles/Word_UnR.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Comunicacion.h"
#include "enlace/Puerto_Serie.h"
#include "formularios/Disposicion.h"
#include "formularios/Principal.h"
#include "protocolo/Lectura_Escritura.h"
#include "reporte/Impresion.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QtEndian>

#include <algorithm>

namespace TP = Textos_Protocolo;

// A menu item's marker: a solid blue circle shown while the pointer is on the item.
class Marcador_Menu : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 255));
        p.drawEllipse(rect().adjusted(1, 1, -1, -1));
    }
};

namespace {

AVPAGE2 *instancia = nullptr;

constexpr int Alto_Pagina = 594;
const QColor Azul_Menu(0, 0, 128);

// Register 0x0104's low byte, where the option bits are.
uint8_t Posicion_Opciones() { return CByte(Posicion_Setpoint(QStringLiteral("0104")) + 1); }

QFont Letra(const QString &familia, double puntos, bool negrita = false, bool cursiva = false) {
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

struct Diseno_Editor {
    const char *direccion;
    const char *formato;
    const char *titulo;
};
// Registers 0x0100..0x0103; the titles are what the numeric entry dialog shows.
const Diseno_Editor Editores[4] = {
    {"0100", "###0", "Alarm Temperature \"L1\""},
    {"0101", "###0", "Alarm Temperature \"L2\""},
    {"0102", "0", "Stop Fan Temperatue \"Low Fan\" "},
    {"0103", "0", "Sart Fan Temperatue \"High Fan\" "},
};

Word_UnR *Editor(int i, QWidget *padre, int x, int y) {
    auto *e = new Word_UnR(padre);
    Bolsa_Propiedades diseno;
    diseno.Escribe(QStringLiteral("Direccion"), QLatin1String(Editores[i].direccion));
    diseno.Escribe(QStringLiteral("Paso"), 1.0);
    diseno.Escribe(QStringLiteral("Medida"), QStringLiteral("°C"));
    diseno.Escribe(QStringLiteral("Formato"), QLatin1String(Editores[i].formato));
    diseno.Escribe(QStringLiteral("Min"), 0);
    diseno.Escribe(QStringLiteral("Max"), 220);
    diseno.Escribe(QStringLiteral("SmallChange"), 1);
    diseno.Escribe(QStringLiteral("Titulo"), QString::fromUtf8(Editores[i].titulo));
    e->Lee_Propiedades(diseno);
    e->setGeometry(x, y, 96, 22);
    return e;
}

} // namespace

AVPAGE2 *AVPAGE2::Instancia() { return instancia; }

AVPAGE2::AVPAGE2() : QWidget(nullptr) {
    instancia = this;
    setWindowTitle(QStringLiteral("KV-73"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    Timer1.setInterval(500);
    Timer2.setInterval(60000);
    connect(&Timer1, &QTimer::timeout, this, &AVPAGE2::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &AVPAGE2::Timer2_Timer);
    Construye();
}

AVPAGE2::~AVPAGE2() {
    if (instancia == this)
        instancia = nullptr;
}

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
    setFixedSize(792, Alto_Pagina + Barra_Estado->height());
}

void AVPAGE2::Construye_Setpoints() {
    QFrame *Frame1 = Marco(QStringLiteral("Set Points"), this, QRect(354, 92, 421, 258));
    Command1 = new QPushButton(QStringLiteral("STORE"), Frame1);
    Command1->setGeometry(347, 110, 57, 23);
    connect(Command1, &QPushButton::clicked, this, &AVPAGE2::Command1_Click);

    const QStringList tres_cuatro = {QStringLiteral("3"), QStringLiteral("4")};
    const QStringList no_si = {QStringLiteral("No"), QStringLiteral("Yes")};
    Etiqueta(QStringLiteral("RTD Quantity :"), Frame1, 12, 22, 200);
    Combo[0] = Lista(tres_cuatro, Frame1, 228, 20, 70);
    Etiqueta(QStringLiteral("Alarm Temperature \"L1\" :"), Frame1, 12, 50, 200);
    Word_UnR_[0] = Editor(0, Frame1, 228, 48);
    Etiqueta(QStringLiteral("Trip Temperature \"L2\" :"), Frame1, 12, 78, 200);
    Word_UnR_[1] = Editor(1, Frame1, 228, 76);
    auto *regla_disparo = Etiqueta(QStringLiteral("Trip > Alarm"), Frame1, 334, 62, 80);
    regla_disparo->setStyleSheet(QStringLiteral("color: #404040"));
    Etiqueta(QStringLiteral("Fan Presence :"), Frame1, 12, 106, 200);
    Combo[1] = Lista(no_si, Frame1, 228, 104, 70);

    Ventilador = Marco(QString(), Frame1, QRect(8, 134, 403, 114));
    Etiqueta(QStringLiteral("Probe Quantity For Command Fan :"), Ventilador, 4, 6, 210);
    Combo[2] = Lista(tres_cuatro, Ventilador, 220, 4, 70);
    Etiqueta(QStringLiteral("Weekly Automatic Activation Fan:"), Ventilador, 4, 32, 210);
    Combo[3] = Lista(no_si, Ventilador, 220, 30, 70);
    Etiqueta(QStringLiteral("Stop Fan Temperatue \"Low Fan\" :"), Ventilador, 4, 60, 210);
    Word_UnR_[2] = Editor(2, Ventilador, 220, 58);
    Etiqueta(QStringLiteral("Start Fan Temperatue \"High Fan\" :"), Ventilador, 4, 88, 214);
    Word_UnR_[3] = Editor(3, Ventilador, 220, 86);
    // A leader stops one degree below its follower's top, so that the push
    // always has room: L1 at 220 would have to push L2 to 221, which no relay
    // holds.
    Word_UnR_[0]->Set_Max(Word_UnR_[1]->Max() - 1);
    Word_UnR_[2]->Set_Max(Word_UnR_[3]->Max() - 1);
    auto *regla_ventilador = Etiqueta(QStringLiteral("Start Fan >\nStop Fan"), Ventilador, 326, 68, 74, 34);
    regla_ventilador->setStyleSheet(QStringLiteral("color: #404040"));

    for (int i = 0; i < 4; ++i) {
        // Only a choice of the operator runs the list's handling; the page's own
        // refresh calls it itself.
        connect(Combo[i], &QComboBox::activated, this, [this, i] {
            Combo_Click(i);
            Marca_Edicion();
        });
        const auto editado = [this, i] {
            Word_UnR_Change(i);
            Marca_Edicion();
        };
        connect(Word_UnR_[i], &Word_UnR::Change, this, editado);
        connect(Word_UnR_[i], &Word_UnR::Click, this, editado);
    }
}

void AVPAGE2::Construye_Actuales() {
    QFrame *Frame2 = Marco(QStringLiteral("Actual Values"), this, QRect(354, 353, 421, 204));
    Etiqueta(QStringLiteral("RTD Quantity :"), Frame2, 12, 18, 130);
    RTD = Etiqueta(QStringLiteral("RTD"), Frame2, 150, 18, 50);
    RTD->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *Label10 = Etiqueta(QStringLiteral("Actual"), Frame2, 146, 44, 80);
    auto *Label11 = Etiqueta(QStringLiteral("Tmaximun"), Frame2, 222, 44, 80);
    QFont cabecera = Label10->font();
    cabecera.setBold(true);
    Label10->setFont(cabecera);
    Label11->setFont(cabecera);
    Label10->setAlignment(Qt::AlignCenter);
    Label11->setAlignment(Qt::AlignCenter);

    Sonda_4 = Marco(QString(), Frame2, QRect(8, 158, 375, 35));
    Sonda_4->setFrameShape(QFrame::NoFrame);
    const int filas[4] = {70, 98, 126, 6};
    for (int k = 0; k < 4; ++k) {
        QWidget *padre = k == 3 ? static_cast<QWidget *>(Sonda_4) : Frame2;
        const int x0 = k == 3 ? 4 : 12;
        const int dx = k == 3 ? -8 : 0;
        Etiqueta(QStringLiteral("Temperature Pt%1 :").arg(k + 1), padre, x0, filas[k], 130);
        Actual[k] = Etiqueta(QStringLiteral("11111"), padre, 150 + dx, filas[k], 50);
        Tmaximun[k] = Etiqueta(QStringLiteral("11111"), padre, 222 + dx, filas[k], 50);
        Etiqueta(QStringLiteral("°C"), padre, 204 + dx, filas[k], 20);
        Etiqueta(QStringLiteral("°C"), padre, 276 + dx, filas[k], 20);
        for (QLabel *valor : {Actual[k], Tmaximun[k]}) {
            valor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            QFont f = valor->font();
            f.setBold(true);
            valor->setFont(f);
        }
    }
    Etiqueta(QStringLiteral("Reset Tmaximun"), Frame2, 312, 96, 100);
    Reset = new QPushButton(QStringLiteral("Clear"), Frame2);
    Reset->setGeometry(322, 119, 57, 25);
    connect(Reset, &QPushButton::clicked, this, [this] { Reset_Click(0); });
}

void AVPAGE2::Construye_Menu() {
    Frame3 = Marco(QString(), this, QRect(34, 374, 249, 209));
    Frame3->setMouseTracking(true);
    Frame3->installEventFilter(this);
    auto *Shape1 = new QFrame(Frame3);
    Shape1->setGeometry(8, 8, 233, 193);
    Shape1->setStyleSheet(QStringLiteral("background-color: rgb(128, 128, 128);"));
    Shape1->setMouseTracking(true);
    Shape1->installEventFilter(this);
    static const char *const textos[7] = {"Load File", "Save File", "Send Setpoints to Relay",
                                          "Print", "Communication", "Exit", "New"};
    for (int i = 0; i < 7; ++i) {
        Menu[i] = Etiqueta(QLatin1String(textos[i]), Frame3, 48, 16 + 26 * i, 186, 24);
        Menu[i]->setFont(Letra(QStringLiteral("Arial Black"), 9.6, true));
        Menu[i]->setMouseTracking(true);
        Menu[i]->setCursor(Qt::PointingHandCursor);
        Menu[i]->installEventFilter(this);
        Circulo[i] = new Marcador_Menu(Frame3);
        Circulo[i]->setGeometry(24, 21 + 26 * i, 14, 14);
        Circulo[i]->hide();
    }
    // Decorative rules beside the menu.
    Linea(this, QRect(24, 368, 269, 2));
    Linea(this, QRect(24, 586, 269, 2));
    Linea(this, QRect(24, 368, 2, 220));
    Linea(this, QRect(291, 368, 2, 220));
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

// --- load, activate, unload ---------------------------------------------------

void AVPAGE2::Form_Load() {
    if (Principal *host = Principal::Instancia()) {
        for (int n = 3; n <= 6; ++n)
            Paneles[n - 1]->setText(host->Panel(n));
        connect(host, &Principal::Panel_Cambiado, this, [this](int n, const QString &texto) {
            if (n >= 3)
                Paneles[n - 1]->setText(texto);
        });
        connect(host, &Principal::Caption_Cambiado, this, [this](const QString &texto) {
            setWindowTitle(texto.isEmpty() ? QStringLiteral("KV-73") : texto);
        });
    }
    Reiniciar_Enlace();
    UserControl11->Desactivar();
    Frame3_MouseMove();
    if (Estado.Comunicacion_OK)
        Lee_Setpoints(Estado.Direccion_Rele);
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
    QWidget::closeEvent(evento);
    Form_Unload();
}

void AVPAGE2::Form_Unload() {
    if (Estado.Modo_Linea_Comandos) {
        Puerto_Serie &puerto = *Host().MSComm1;
        if (puerto.PortOpen()) {
            puerto.Output(QByteArray(1, '\0'));
            puerto.Set_PortOpen(false);
        }
        Escribe_Estado(2);
    }
    Termina_Programa();
}

QString Ruta_Archivo_Estado() {
    if (qEnvironmentVariableIsSet("KV73_STATUS_FILE"))
        return qEnvironmentVariable("KV73_STATUS_FILE");
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

// --- menu -----------------------------------------------------------------------

bool AVPAGE2::eventFilter(QObject *objeto, QEvent *evento) {
    const bool movimiento = evento->type() == QEvent::MouseMove;
    if (movimiento || evento->type() == QEvent::Enter) {
        for (int i = 0; i < 7; ++i)
            if (objeto == Menu[i]) {
                Menu_MouseMove(i);
                // Taken here: a move the item ignores goes on to the menu area,
                // which would turn the item dark again.
                return true;
            }
        // The menu area learns of the pointer only when it moves over the area
        // itself: its Enter also comes when the pointer goes straight onto an item.
        if (movimiento)
            Frame3_MouseMove();
    } else if (evento->type() == QEvent::MouseButtonRelease) {
        auto *raton = static_cast<QMouseEvent *>(evento);
        for (int i = 0; i < 7; ++i)
            if (objeto == Menu[i] && raton->button() == Qt::LeftButton &&
                Menu[i]->rect().contains(raton->position().toPoint())) {
                Menu_Click(i);
                return true;
            }
    }
    return QWidget::eventFilter(objeto, evento);
}

void AVPAGE2::Menu_MouseMove(int indice) {
    for (int i = 0; i < 7; ++i) {
        QPalette p = Menu[i]->palette();
        p.setColor(QPalette::WindowText, i == indice ? Qt::white : Azul_Menu);
        Menu[i]->setPalette(p);
        Circulo[i]->setVisible(i == indice);
    }
}

void AVPAGE2::Frame3_MouseMove() { Menu_MouseMove(-1); }

void AVPAGE2::Menu_Click(int indice) {
    switch (indice) {
    case 0:
        if (!Estado.Comunicacion_OK) {
            Abrir_Archivo();
            // A loaded file replaces any edits; a cancelled pick keeps them shown.
            if (!Estado.Edicion_Pendiente)
                Actualiza_Valores_de_Pantalla_SP();
            Actualiza_Valores_de_Pantalla();
        }
        break;
    case 1:
        Guardar_Archivo();
        break;
    case 2:
        Envia_Setpoints();
        break;
    case 3:
        Imprime();
        break;
    case 4: {
        Comunicacion &dialogo = Comunicacion::Cargada();
        dialogo.exec();
        if (Estado.Comunicacion_OK) {
            Timer1.start();
            // An ON read the relay's setpoints over any edits; without one the
            // operator's unsent edits stay on the editors.
            if (!Estado.Edicion_Pendiente)
                Actualiza_Valores_de_Pantalla_SP();
        }
        break;
    }
    case 5: {
        const Respuesta r =
            Host().Dialogos->Mensaje(QStringLiteral(" Are You Sure ?"),
                                     QStringLiteral("Exit KV - 73"), Botones::Yes_No, Icono::Pregunta);
        if (r == Respuesta::Yes) {
            if (Host().MSComm1->PortOpen())
                Host().MSComm1->Output(QByteArray(1, '\0'));
            if (Estado.Modo_Linea_Comandos)
                Form_Unload();
            Termina_Programa();
        }
        break;
    }
    case 6:
        if (!Estado.Comunicacion_OK) {
            for (std::size_t i = 1; i <= 17; ++i) {
                Estado.Set_Setpoints[i] = 0;
                Estado.Trama_Escritura[i] = 0;
            }
            for (std::size_t i = 1; i <= 33; ++i)
                Estado.Valores_Actuales[i] = 0;
            Estado.Edicion_Pendiente = false;
            Actualiza_Valores_de_Pantalla();
            Actualiza_Valores_de_Pantalla_SP();
        }
        break;
    default:
        break;
    }
    Frame3_MouseMove();
    Muestra_Edicion_Pendiente();
}

void AVPAGE2::Envia_Setpoints() {
    Estado.Comunicacion_OK = false;
    Abrir_Archivo();
    if (Estado.Archivo_Cargado) {
        Timer1.stop();
        const QString actual = QString::number(Estado.Direccion_Rele);
        const QString respuesta = Host().Dialogos->Caja_Entrada(
            QStringLiteral("Relay Direction: ") + actual, QStringLiteral("Send To Relay"), actual);
        if (!respuesta.isEmpty()) {
            const double direccion = Val(respuesta);
            if (direccion >= 0 && direccion < 255.5) {
                Estado.Direccion_Rele = CByte(direccion);
                Abrir_Puerto();
                Escribe_Setpoints(Estado.Direccion_Rele);
            } else {
                // Refused instead of being wrapped into another relay's address.
                Host().Dialogos->Mensaje(QStringLiteral("The relay address must be 0 to 255: ") + respuesta);
            }
        }
        if (Estado.Comunicacion_OK)
            Timer1.stop();
        Estado.Comunicacion_OK = false;
    }
    if (!Estado.Edicion_Pendiente)
        Actualiza_Valores_de_Pantalla_SP();
    Actualiza_Valores_de_Pantalla();
}

void AVPAGE2::Imprime() {
    // The page prints what it shows, edits not yet sent included.
    Textos_Pagina textos;
    textos.setp = {Combo[0]->currentText(), Word_UnR_[0]->Text(), Word_UnR_[1]->Text(),
                   Combo[1]->currentText(), Word_UnR_[2]->Text(), Word_UnR_[3]->Text(),
                   Combo[2]->currentText(), Combo[3]->currentText()};
    textos.tres_sondas = Combo[0]->currentIndex() == 0;
    Impresion(textos);
}

// --- live values ------------------------------------------------------------------

void AVPAGE2::Arranca_Sondeo() {
    if (Estado.Comunicacion_OK)
        Timer1.start();
}

void AVPAGE2::Arranca_Timers() {
    Timer1.start();
    Timer2.start();
}

void AVPAGE2::Timer1_Timer() {
    Lee_Valores_Actuales(Estado.Direccion_Rele);
    Actualiza_Valores_de_Pantalla();
    if (Estado.Comunicacion_OK) {
        UserControl11->Refrescar();
    } else {
        UserControl11->Desactivar();
        Host().Textos->Escribe_Panel(6, TP::No_Comunicando);
        Timer1.stop();
    }
    // A tick that fires while another exchange waits for its reply leaves the
    // requests to a later tick: one exchange on the line at a time.
    if ((Estado.Grabar_Pendiente || Estado.Reset_Tmax_Pendiente) &&
        Estado.Intercambios_En_Curso == 0)
        Ejecuta_Pendientes();
    Muestra_Edicion_Pendiente();
}

void AVPAGE2::Ejecuta_Pendientes() {
    // Taken at once, so that a tick inside one of these exchanges does not run
    // them a second time.
    const bool grabar = Estado.Grabar_Pendiente;
    const bool reset = Estado.Reset_Tmax_Pendiente;
    Estado.Grabar_Pendiente = false;
    Estado.Reset_Tmax_Pendiente = false;
    if (reset) {
        int32_t comando = 16;
        Ejecuta_Comando(Estado.Direccion_Rele, comando);
    }
    Actualiza_Valores_de_Pantalla();
    if (grabar) {
        int32_t comando = 1;
        Ejecuta_Comando(Estado.Direccion_Rele, comando);
        // A write the relay refused leaves the edits on the editors, where the
        // operator can send them again.
        Escribe_Setpoints(Estado.Direccion_Rele);
        if (!Estado.Edicion_Pendiente)
            Actualiza_Valores_de_Pantalla_SP();
        comando = 2;
        Ejecuta_Comando(Estado.Direccion_Rele, comando);
    }
}

void AVPAGE2::Timer2_Timer() {
    if (Estado.Edicion_Pendiente) {
        // The re-read brings what the relay holds (Set_Setpoints) but leaves the
        // operator's unsent edits, in the edit image and on the editors, alone.
        const Imagen<21> edicion = Estado.Nuevos_Setpoints;
        Lee_Setpoints(Estado.Direccion_Rele);
        Estado.Nuevos_Setpoints = edicion;
        Estado.Edicion_Pendiente = true;
    } else {
        Lee_Setpoints(Estado.Direccion_Rele);
        Actualiza_Valores_de_Pantalla_SP();
    }
    if (!Estado.Comunicacion_OK)
        Timer2.stop();
    Muestra_Edicion_Pendiente();
}

void AVPAGE2::Actualiza_Valores_de_Pantalla() {
    const uint8_t base = Estado.Posicion_Estado;
    // Bit b of a 16-bit register: bits 0..7 in its low byte (one further), 8..15 in its high byte.
    const auto indice = [](uint8_t alto, uint8_t bit) {
        return static_cast<uint8_t>(bit < 8 ? alto + 1 : alto);
    };
    using Getter = bool (UserControl1::*)() const;
    using Setter = void (UserControl1::*)(bool);
    struct Lampara {
        Getter lee;
        Setter fija;
    };
    static const Lampara lamparas[] = {
        {&UserControl1::Pt1, &UserControl1::Set_Pt1},   {&UserControl1::Pt2, &UserControl1::Set_Pt2},
        {&UserControl1::Pt3, &UserControl1::Set_Pt3},   {&UserControl1::Pt4, &UserControl1::Set_Pt4},
        {&UserControl1::Fault, &UserControl1::Set_Fault}, {&UserControl1::L2, &UserControl1::Set_L2},
        {&UserControl1::L1, &UserControl1::Set_L1},     {&UserControl1::FAN, &UserControl1::Set_FAN},
        {&UserControl1::Prog, &UserControl1::Set_Prog}, {&UserControl1::Tmax, &UserControl1::Set_Tmax},
        {&UserControl1::Aut, &UserControl1::Set_Aut},
    };
    for (std::size_t k = 0; k < std::size(Mapa_Indicadores); ++k) {
        const uint8_t bit = Mapa_Indicadores[k].bit;
        const uint8_t b = bit % 8;
        const bool previo = (UserControl11->*lamparas[k].lee)();
        (UserControl11->*lamparas[k].fija)(Estado_Parpadeo(
            b, indice(static_cast<uint8_t>(base + 4), bit), b,
            indice(static_cast<uint8_t>(base + 6), bit), previo));
    }
    for (int k = 0; k < 4; ++k) {
        const QString registro = QStringLiteral("%1").arg(0x0200 + k, 4, 16, QLatin1Char('0'));
        Actual[k]->setText(Estado.Comunicacion_OK
                               ? Texto_Temperatura(Lee_Word_Actual(CByte(Posicion_Actual(registro))))
                               : Texto_Temperatura(231));
        const QString maximo = QStringLiteral("%1").arg(0x0204 + k, 4, 16, QLatin1Char('0'));
        Tmaximun[k]->setText(QString::number(Lee_Word_Actual(CByte(Posicion_Actual(maximo)))));
    }
}

// --- setpoint area ------------------------------------------------------------------

void AVPAGE2::Actualiza_Valores_de_Pantalla_SP() {
    for (Word_UnR *editor : Word_UnR_)
        editor->Inicializacion();
    // Each follower takes its minimum from the value its leader now shows, and
    // is pushed above it where needed, as after an edit of the leader.
    Word_UnR_Change(0);
    Word_UnR_Change(2);
    const uint8_t opciones = Posicion_Opciones();
    for (int i = 0; i < 4; ++i) {
        Combo[i]->setCurrentIndex(Lee_Bit_Setpoint(static_cast<uint8_t>(i), opciones));
        Combo_Click(i);
    }
    Muestra_Sondas(Lee_Bit_Setpoint(0, opciones) != 0);
}

void AVPAGE2::Muestra_Sondas(bool cuatro) {
    Sonda_4->setVisible(cuatro);
    RTD->setText(cuatro ? QStringLiteral("4") : QStringLiteral("3"));
}

void AVPAGE2::Combo_Click(int indice) {
    const uint8_t opciones = Posicion_Opciones();
    const auto guarda_bit = [opciones](int bit, bool valor) {
        Escribe_Byte_Setpoint(opciones, static_cast<uint8_t>(Cambia_Bit_Setpoint(
                                            valor ? -1 : 0, static_cast<uint8_t>(bit), opciones)));
    };
    const bool uno = Combo[indice]->currentIndex() == 1;
    guarda_bit(indice, uno);
    switch (indice) {
    case 0:
        Muestra_Sondas(uno);
        if (!uno) {
            Combo[2]->setCurrentIndex(0);
            guarda_bit(2, false);
        }
        Combo[2]->setEnabled(uno);
        break;
    case 1:
        Ventilador->setVisible(uno);
        break;
    default:
        break;
    }
}

void AVPAGE2::Word_UnR_Change(int indice) {
    if (indice != 0 && indice != 2)
        return;
    Word_UnR *mando = Word_UnR_[static_cast<std::size_t>(indice)];
    Word_UnR *seguidor = Word_UnR_[static_cast<std::size_t>(indice + 1)];
    const auto minimo = static_cast<int32_t>(Val(mando->Text()));
    seguidor->Set_Min(minimo);
    // One degree above the leader, but never past the follower's own top.
    const int32_t empuje = std::min(minimo + 1, seguidor->Max());
    if (seguidor->Value() < empuje) {
        seguidor->Set_Value(empuje);
        seguidor->Refrescar();
    }
}

void AVPAGE2::Marca_Edicion() {
    Estado.Edicion_Pendiente = true;
    Muestra_Edicion_Pendiente();
}

void AVPAGE2::Muestra_Edicion_Pendiente() {
    const bool pendiente = Estado.Edicion_Pendiente;
    if (Command1->property("pendiente").toBool() == pendiente)
        return;
    Command1->setProperty("pendiente", pendiente);
    // Amber until STORE sends the edits, or a read, New or a loaded file
    // replaces them.
    Command1->setStyleSheet(pendiente ? QStringLiteral("QPushButton { background-color: #f5b400; "
                                                       "font-weight: bold; }")
                                      : QString());
    Command1->setToolTip(
        pendiente ? QStringLiteral("Setpoints edited and not yet sent to the relay") : QString());
}

bool AVPAGE2::Prog_Encendido() const {
    return Lee_Bit_Actual(0, static_cast<uint8_t>(Estado.Posicion_Estado + 5)) != 0;
}

bool AVPAGE2::Prog_Parpadea() const {
    return Lee_Bit_Actual(0, static_cast<uint8_t>(Estado.Posicion_Estado + 7)) != 0;
}

void AVPAGE2::Command1_Click() {
    if (Estado.Comunicacion_OK) {
        // Someone at the relay's keys holds it in programming mode: its Prog lamp
        // blinks. A steady Prog does not stop a send.
        if (Prog_Encendido() && Prog_Parpadea())
            Host().Dialogos->Mensaje(
                QStringLiteral("Warning: Someone it's Relay Programing in Local Mode"),
                QStringLiteral("KV - 73"), Botones::OK, Icono::Critico);
        else
            Estado.Grabar_Pendiente = true;
        return;
    }
    Estado.Trama_Escritura.Copia(8, Estado.Nuevos_Setpoints, 8, 12);
    Host().Dialogos->Mensaje(QStringLiteral("Setpoints were Saved to the Computer's Scratch memory"));
}

void AVPAGE2::Reset_Click(int indice) {
    if (!Estado.Comunicacion_OK) {
        Host().Dialogos->Mensaje(QStringLiteral("Only Communication Mode"));
        return;
    }
    if (Prog_Encendido())
        Host().Dialogos->Mensaje(
            QStringLiteral("Warning: Someone it's Relay Programming in Local Mode"),
            QStringLiteral("KV - 72"), Botones::OK, Icono::Critico);
    else if (indice == 0)
        Estado.Reset_Tmax_Pendiente = true;
}
