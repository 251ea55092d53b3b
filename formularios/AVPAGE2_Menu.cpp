// The main page's menu: its items, the pointer over them and what each does.

#include "formularios/AVPAGE2.h"
#include "formularios/AVPAGE2_Piezas.h"
#include "formularios/Diario_Pagina.h"

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Operador.h"
#include "comun/Texto.h"
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

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>

#include <cmath>

namespace TP = Textos_Protocolo;

namespace {
const QColor Azul_Menu(0, 0, 128);

// Load File and New would put a file's or blank values over the live ones:
// they wait for the link to be down, and the status bar says so.
void Dice_Solo_Sin_Enlace(QStatusBar &barra, const QString &accion) {
    barra.showMessage(
        QStringLiteral("%1 works with the link down: press OFF in Communication first").arg(accion),
        10000);
}
} // namespace

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

void AVPAGE2::Construye_Menu() {
    Frame3 = Marco(QString(), this, QRect(34, 374, 249, 209));
    Frame3->setMouseTracking(true);
    Frame3->installEventFilter(this);
    auto *Shape1 = new QFrame(Frame3);
    Shape1->setGeometry(8, 8, 233, 193);
    Shape1->setStyleSheet(QStringLiteral("background-color: rgb(128, 128, 128);"));
    Shape1->setMouseTracking(true);
    Shape1->installEventFilter(this);
    static const char *const textos[7] = {"Load File", "Save File",     "Send Setpoints to Relay",
                                          "Print",     "Communication", "Exit",
                                          "New"};
    for (int i = 0; i < 7; ++i) {
        Menu[i] = Etiqueta(QLatin1String(textos[i]), Frame3, 48, 16 + 26 * i, 186, 24);
        Menu[i]->setFont(Letra(QStringLiteral("Arial Black"), 9.6, true));
        Menu[i]->setMouseTracking(true);
        Menu[i]->setCursor(Qt::PointingHandCursor);
        Menu[i]->installEventFilter(this);
        // Tab reaches the items too; a click leaves the focus where it was.
        Menu[i]->setFocusPolicy(Qt::TabFocus);
        Circulo[i] = new Marcador_Menu(Frame3);
        Circulo[i]->setGeometry(24, 21 + 26 * i, 14, 14);
        Circulo[i]->hide();
    }
    Construye_Atajos_Menu();
    // Decorative rules beside the menu.
    Linea(this, QRect(24, 368, 269, 2));
    Linea(this, QRect(24, 586, 269, 2));
    Linea(this, QRect(24, 368, 2, 220));
    Linea(this, QRect(291, 368, 2, 220));
}

// Each item has its key, named in its tooltip, wherever the focus is on the page.
void AVPAGE2::Construye_Atajos_Menu() {
    static const QKeyCombination teclas[7] = {
        Qt::CTRL | Qt::Key_O, Qt::CTRL | Qt::Key_S, Qt::CTRL | Qt::SHIFT | Qt::Key_S,
        Qt::CTRL | Qt::Key_P, Qt::CTRL | Qt::Key_K, Qt::CTRL | Qt::Key_Q,
        Qt::CTRL | Qt::Key_N};
    for (int i = 0; i < 7; ++i) {
        auto *atajo = new QAction(Menu[i]->text(), this);
        atajo->setShortcut(QKeySequence(teclas[i]));
        atajo->setShortcutContext(Qt::WindowShortcut);
        connect(atajo, &QAction::triggered, this, [this, i] { Menu_Click(i); });
        addAction(atajo);
        Menu[i]->setToolTip(atajo->shortcut().toString(QKeySequence::NativeText));
    }
}

// A focused item wears the pointer's look, and Enter or Space chooses it.
bool AVPAGE2::Menu_Teclado(int indice, QEvent *evento) {
    switch (evento->type()) {
    case QEvent::FocusIn:
        Menu_MouseMove(indice);
        return false;
    case QEvent::FocusOut:
        Frame3_MouseMove();
        return false;
    case QEvent::KeyPress:
        switch (static_cast<QKeyEvent *>(evento)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            Menu_Click(indice);
            // The item keeps the focus, so it keeps the look.
            if (Menu[indice]->hasFocus())
                Menu_MouseMove(indice);
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}

bool AVPAGE2::eventFilter(QObject *objeto, QEvent *evento) {
    for (int i = 0; i < 7; ++i)
        if (objeto == Menu[i] && Menu_Teclado(i, evento))
            return true;
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

void AVPAGE2::Frame3_MouseMove() {
    Menu_MouseMove(-1);
}

void AVPAGE2::Menu_Click(int indice) {
    switch (indice) {
    case 0:
        Carga_Archivo();
        break;
    case 1:
        Guardar_Archivo(Enlace());
        break;
    case 2:
        Envia_Setpoints();
        break;
    case 3:
        Imprime();
        break;
    case 4:
        Abre_Comunicacion();
        break;
    case 5:
        Sale();
        break;
    case 6:
        Nuevo();
        break;
    default:
        break;
    }
    Frame3_MouseMove();
    Muestra_Edicion_Pendiente();
}

void AVPAGE2::Carga_Archivo() {
    if (Estado.Comunicacion_OK) {
        Dice_Solo_Sin_Enlace(*Barra_Estado, QStringLiteral("Load File"));
        return;
    }
    Abrir_Archivo(Enlace());
    // A loaded file replaces any edits; a cancelled pick keeps them shown.
    if (!Estado.Edicion_Pendiente)
        Actualiza_Valores_de_Pantalla_SP();
    Actualiza_Valores_de_Pantalla();
}

void AVPAGE2::Abre_Comunicacion() {
    Comunicacion &dialogo = Comunicacion::Cargada(Enlace());
    dialogo.exec();
    if (Estado.Comunicacion_OK) {
        Timer1.start();
        // An ON read the relay's setpoints over any edits; without one the
        // operator's unsent edits stay on the editors.
        if (!Estado.Edicion_Pendiente)
            Actualiza_Valores_de_Pantalla_SP();
    }
}

void AVPAGE2::Sale() {
    if (!Deja_Ediciones())
        return;
    const Respuesta r =
        host_.Dialogo1().Mensaje(QStringLiteral(" Are You Sure ?"), QStringLiteral("Exit KV - 73"),
                                 Botones::Yes_No, Icono::Pregunta);
    if (r != Respuesta::Yes)
        return;
    if (host_.MSComm1().PortOpen())
        host_.MSComm1().Output(QByteArray(1, '\0'));
    if (Estado.Modo_Linea_Comandos)
        Form_Unload();
    host_.Termina_Programa();
}

void AVPAGE2::Nuevo() {
    if (Estado.Comunicacion_OK) {
        Dice_Solo_Sin_Enlace(*Barra_Estado, QStringLiteral("New"));
        return;
    }
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

void AVPAGE2::Envia_Setpoints() {
    Estado.Comunicacion_OK = false;
    Abrir_Archivo(Enlace());
    if (Estado.Archivo_Cargado) {
        Timer1.stop();
        const QString actual = QString::number(Estado.Direccion_Rele);
        const QString respuesta = host_.Dialogo1().Caja_Entrada(
            QStringLiteral("Relay Direction: ") + actual, QStringLiteral("Send To Relay"), actual);
        if (!respuesta.isEmpty()) {
            // Only an address a relay can hold: a write to 0 would reach every
            // relay on the line and be answered by none, and no relay takes 255.
            // The address in force stays as it was, within the relays' range.
            const double direccion = std::nearbyint(Valor_Palabra(respuesta));
            if (direccion >= Direccion_Minima && direccion <= Direccion_Maxima) {
                Estado.Direccion_Rele = CByte(direccion);
                // The status bar names the relay the setpoints go to.
                Enlace().Textos().Escribe_Panel(5, QStringLiteral("Address: ") +
                                                       Str(Estado.Direccion_Rele));
                Abrir_Puerto(Enlace());
                Diario_Pagina::Escritura(*this, QStringLiteral("Send Setpoints to Relay"), [&] {
                    return Enlace().Escribe_Setpoints(Estado.Direccion_Rele);
                });
            } else {
                host_.Dialogo1().Mensaje(QStringLiteral("The relay address must be %1 to %2: %3")
                                             .arg(Direccion_Minima)
                                             .arg(Direccion_Maxima)
                                             .arg(respuesta));
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
    textos.setp = {Combo[0]->currentText(), Word_UnR_[0]->Text(),   Word_UnR_[1]->Text(),
                   Combo[1]->currentText(), Word_UnR_[2]->Text(),   Word_UnR_[3]->Text(),
                   Combo[2]->currentText(), Combo[3]->currentText()};
    textos.tres_sondas = Combo[0]->currentIndex() == 0;
    Impresion(textos, host_.Impresora(), host_.Dialogo1());
}
