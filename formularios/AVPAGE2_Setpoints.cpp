// The main page's setpoint area: the editors and option lists, the rules
// between the levels, STORE and Clear.

#include "formularios/AVPAGE2.h"
#include "formularios/AVPAGE2_Piezas.h"
#include "formularios/Principal.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Operador.h"
#include "comun/Texto.h"
#include "controles/Bolsa_Propiedades.h"
#include "controles/Word_UnR.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"
#include "datos/Rangos_Setpoints.h"
#include "formularios/Disposicion.h"
#include "protocolo/Lectura_Escritura.h"

#include <QComboBox>
#include <QPushButton>

#include <algorithm>

namespace TP = Textos_Protocolo;

namespace {

// Register 0x0104's low byte, where the option bits are.
uint8_t Posicion_Opciones() {
    return CByte(Posicion_Setpoint(QStringLiteral("0104")) + 1);
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

Word_UnR *Editor(int i, QWidget *padre, Operador &dialogos, int x, int y) {
    auto *e = new Word_UnR(padre, &dialogos);
    Bolsa_Propiedades diseno;
    diseno.Escribe(QStringLiteral("Direccion"), QLatin1String(Editores[i].direccion));
    diseno.Escribe(QStringLiteral("Paso"), 1.0);
    diseno.Escribe(QStringLiteral("Medida"), QStringLiteral("°C"));
    diseno.Escribe(QStringLiteral("Formato"), QLatin1String(Editores[i].formato));
    diseno.Escribe(QStringLiteral("Min"), 0);
    diseno.Escribe(QStringLiteral("Max"), Maximo_Temperatura);
    diseno.Escribe(QStringLiteral("SmallChange"), 1);
    diseno.Escribe(QStringLiteral("Titulo"), QString::fromUtf8(Editores[i].titulo));
    e->Lee_Propiedades(diseno);
    e->setGeometry(x, y, 96, 22);
    return e;
}

} // namespace

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
    Word_UnR_[0] = Editor(0, Frame1, host_.Dialogo1(), 228, 48);
    Etiqueta(QStringLiteral("Trip Temperature \"L2\" :"), Frame1, 12, 78, 200);
    Word_UnR_[1] = Editor(1, Frame1, host_.Dialogo1(), 228, 76);
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
    Word_UnR_[2] = Editor(2, Ventilador, host_.Dialogo1(), 220, 58);
    Etiqueta(QStringLiteral("Start Fan Temperatue \"High Fan\" :"), Ventilador, 4, 88, 214);
    Word_UnR_[3] = Editor(3, Ventilador, host_.Dialogo1(), 220, 86);
    auto *regla_ventilador =
        Etiqueta(QStringLiteral("Start Fan >\nStop Fan"), Ventilador, 326, 68, 74, 34);
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

void AVPAGE2::Actualiza_Valores_de_Pantalla_SP() {
    for (Word_UnR *editor : Word_UnR_)
        editor->Inicializacion();
    // Each follower's floor comes from the value its leader now shows. Nothing is
    // pushed: the relay or the file holds both values (L2 may equal L1), and a
    // push here would put a value the operator never set into the next STORE.
    Pon_Minimo_Seguidor(0);
    Pon_Minimo_Seguidor(2);
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

int32_t AVPAGE2::Pon_Minimo_Seguidor(int indice) {
    const Word_UnR *mando = Word_UnR_[static_cast<std::size_t>(indice)];
    const auto minimo = static_cast<int32_t>(Val(mando->Text()));
    Word_UnR_[static_cast<std::size_t>(indice + 1)]->Set_Min(minimo);
    return minimo;
}

void AVPAGE2::Word_UnR_Change(int indice) {
    if (indice != 0 && indice != 2)
        return;
    const int32_t minimo = Pon_Minimo_Seguidor(indice);
    Word_UnR *seguidor = Word_UnR_[static_cast<std::size_t>(indice + 1)];
    // One degree above the leader, but never past the follower's own top: a
    // leader at 220 leaves its follower at 220, equal, which the relay takes.
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
    // replaces them. Painted so, the button loses the style's focus frame: it
    // gets its own, for whoever reaches it with Tab.
    Command1->setStyleSheet(pendiente ? QStringLiteral("QPushButton { background-color: #f5b400; "
                                                       "font-weight: bold; }"
                                                       "QPushButton:focus { border: 2px solid "
                                                       "#1e50c8; }")
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
            host_.Dialogo1().Mensaje(
                QStringLiteral("Warning: Someone it's Relay Programing in Local Mode"),
                QStringLiteral("KV - 73"), Botones::OK, Icono::Critico);
        else
            Estado.Grabar_Pendiente = true;
        return;
    }
    Estado.Trama_Escritura.Copia(8, Estado.Nuevos_Setpoints, 8, 12);
    host_.Dialogo1().Mensaje(
        QStringLiteral("Setpoints were Saved to the Computer's Scratch memory"));
}

void AVPAGE2::Reset_Click(int indice) {
    if (!Estado.Comunicacion_OK) {
        host_.Dialogo1().Mensaje(QStringLiteral("Only Communication Mode"));
        return;
    }
    if (Prog_Encendido())
        host_.Dialogo1().Mensaje(
            QStringLiteral("Warning: Someone it's Relay Programming in Local Mode"),
            QStringLiteral("KV - 72"), Botones::OK, Icono::Critico);
    else if (indice == 0)
        Estado.Reset_Tmax_Pendiente = true;
}
