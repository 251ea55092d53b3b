// The main page's live values: the poll twice a second and what it shows, the
// queued requests it runs, and the setpoint re-read once a minute.

#include "formularios/AVPAGE2.h"
#include "formularios/AVPAGE2_Piezas.h"
#include "formularios/Diario_Pagina.h"
#include "formularios/Principal.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Operador.h"
#include "comun/Texto.h"
#include "controles/UserControl1.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"
#include "formularios/Disposicion.h"
#include "protocolo/Lectura_Escritura.h"

#include <QLabel>
#include <QPushButton>

namespace TP = Textos_Protocolo;

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

void AVPAGE2::Arranca_Sondeo() {
    if (Estado.Comunicacion_OK)
        Timer1.start();
}

void AVPAGE2::Arranca_Timers() {
    Timer1.start();
    Timer2.start();
}

void AVPAGE2::Timer1_Timer() {
    const QDateTime hora = QDateTime::currentDateTime();
    const std::optional<Estado_Sondeo> sondeo =
        Estado_Del_Sondeo(Enlace().Lee_Valores_Actuales(Estado.Direccion_Rele));
    Actualiza_Valores_de_Pantalla();
    if (sondeo)
        emit Sondeo_Hecho(*sondeo, hora);
    if (Estado.Comunicacion_OK) {
        UserControl11->Refrescar();
    } else {
        UserControl11->Desactivar();
        Enlace().Textos().Escribe_Panel(6, TP::No_Comunicando);
        Timer1.stop();
    }
    // A tick that fires while another exchange waits for its reply leaves the
    // requests to a later tick: one exchange on the line at a time.
    if ((Estado.Grabar_Pendiente || Estado.Reset_Tmax_Pendiente) &&
        Estado.Intercambios_En_Curso == 0)
        Ejecuta_Pendientes();
    Muestra_Edicion_Pendiente();
    if (Estado.Comunicacion_OK && Estado.Intercambios_En_Curso == 0 && !Estado.Ocupado)
        emit Turno_Bus();
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
        Diario_Pagina::Reinicio_Maximos(
            *this, [&] { return Enlace().Ejecuta_Comando(Estado.Direccion_Rele, comando); });
    }
    Actualiza_Valores_de_Pantalla();
    if (grabar) {
        int32_t comando = 1;
        Enlace().Ejecuta_Comando(Estado.Direccion_Rele, comando);
        // A write the relay refused leaves the edits on the editors, where the
        // operator can send them again.
        Diario_Pagina::Escritura(*this, QStringLiteral("STORE"),
                                 [&] { return Enlace().Escribe_Setpoints(Estado.Direccion_Rele); });
        if (!Estado.Edicion_Pendiente)
            Actualiza_Valores_de_Pantalla_SP();
        comando = 2;
        Enlace().Ejecuta_Comando(Estado.Direccion_Rele, comando);
    }
}

void AVPAGE2::Timer2_Timer() {
    // The re-read brings what the relay holds (Set_Setpoints); the operator's
    // unsent edits stay, in the edit image and on the editors.
    const bool pendiente = Estado.Edicion_Pendiente;
    const Imagen<21> edicion = Estado.Nuevos_Setpoints;
    Enlace().Lee_Setpoints(Estado.Direccion_Rele);
    if (pendiente) {
        Estado.Nuevos_Setpoints = edicion;
        Estado.Edicion_Pendiente = true;
    } else {
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
        {&UserControl1::Pt1, &UserControl1::Set_Pt1},
        {&UserControl1::Pt2, &UserControl1::Set_Pt2},
        {&UserControl1::Pt3, &UserControl1::Set_Pt3},
        {&UserControl1::Pt4, &UserControl1::Set_Pt4},
        {&UserControl1::Fault, &UserControl1::Set_Fault},
        {&UserControl1::L2, &UserControl1::Set_L2},
        {&UserControl1::L1, &UserControl1::Set_L1},
        {&UserControl1::FAN, &UserControl1::Set_FAN},
        {&UserControl1::Prog, &UserControl1::Set_Prog},
        {&UserControl1::Tmax, &UserControl1::Set_Tmax},
        {&UserControl1::Aut, &UserControl1::Set_Aut},
    };
    for (std::size_t k = 0; k < std::size(Mapa_Indicadores); ++k) {
        const uint8_t bit = Mapa_Indicadores[k].bit;
        const uint8_t b = bit % 8;
        const bool previo = (UserControl11->*lamparas[k].lee)();
        (UserControl11->*lamparas[k].fija)(
            Estado_Parpadeo(b, indice(static_cast<uint8_t>(base + 4), bit), b,
                            indice(static_cast<uint8_t>(base + 6), bit), previo));
    }
    for (int k = 0; k < 4; ++k) {
        const QString registro = QStringLiteral("%1").arg(0x0200 + k, 4, 16, QLatin1Char('0'));
        Actual[k]->setText(Estado.Comunicacion_OK ? Texto_Temperatura(Lee_Word_Actual(
                                                        CByte(Posicion_Actual(registro))))
                                                  : Texto_Temperatura(231));
        const QString maximo = QStringLiteral("%1").arg(0x0204 + k, 4, 16, QLatin1Char('0'));
        // A maximum holds the same word as its temperature: a faulty probe's
        // maximum is its fault code, read as the temperature reads it.
        Tmaximun[k]->setText(Texto_Temperatura(Lee_Word_Actual(CByte(Posicion_Actual(maximo)))));
    }
}
