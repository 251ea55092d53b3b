#include "enlace/Comunicacion.h"

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Espera.h"
#include "comun/Operador.h"
#include "comun/Temporizador.h"
#include "comun/Texto.h"
#include "controles/Bolsa_Propiedades.h"
#include "controles/Byte_UnR.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Dispositivos_Puerto.h"
#include "enlace/Programacion_Modem.h"
#include "enlace/Puerto_Serie.h"
#include "formularios/Disposicion.h"
#include "protocolo/Enlace_Rele.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace TP = Textos_Protocolo;

Comunicacion *Comunicacion::cargada_ = nullptr;

Avisos_Comunicacion &Avisos_Del_Dialogo() {
    static Avisos_Comunicacion avisos;
    return avisos;
}

// Marks one of the dialog's own operations as running for as long as it lasts.
struct Comunicacion::Operacion {
    explicit Operacion(Comunicacion &d) : dialogo(d) { ++dialogo.en_curso_; }
    ~Operacion() { --dialogo.en_curso_; }
    Operacion(const Operacion &) = delete;
    Operacion &operator=(const Operacion &) = delete;
    Comunicacion &dialogo;
};

Comunicacion &Comunicacion::Cargada(Enlace_Rele &enlace) {
    if (!cargada_) {
        cargada_ = new Comunicacion(enlace);
        cargada_->Form_Load();
    }
    return *cargada_;
}

Comunicacion *Comunicacion::Si_Cargada() {
    return cargada_;
}

void Comunicacion::Descarga() {
    // Unloading under a running ON or OFF would free the dialog beneath them.
    if (!cargada_ || cargada_->En_Curso())
        return;
    Comunicacion *dialogo = cargada_;
    cargada_ = nullptr;
    dialogo->hide();
    dialogo->deleteLater();
}

namespace {

QGroupBox *Marco(const QString &titulo, QWidget *padre, int x, int y, int ancho, int alto) {
    auto *g = new QGroupBox(titulo, padre);
    g->setGeometry(x, y, ancho, alto);
    return g;
}

QPushButton *Boton(const QString &texto, QWidget *padre, int x, int y, int ancho, int alto) {
    auto *b = new QPushButton(texto, padre);
    b->setGeometry(x, y, ancho, alto);
    return b;
}

// The slave address editor: whole steps over the relays' addresses.
Bolsa_Propiedades Diseno_Direccion() {
    Bolsa_Propiedades diseno;
    diseno.Escribe(QStringLiteral("Paso"), 1.0);
    diseno.Escribe(QStringLiteral("Medida"), QString());
    diseno.Escribe(QStringLiteral("Max"), Direccion_Maxima);
    diseno.Escribe(QStringLiteral("Min"), Direccion_Minima);
    diseno.Escribe(QStringLiteral("SmallChange"), 1);
    diseno.Escribe(QStringLiteral("Titulo"), QStringLiteral("Address Relay"));
    return diseno;
}

const QStringList Puertos = {QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                             QStringLiteral("COM4")};
const QStringList Velocidades = {QStringLiteral("1200"), QStringLiteral("2400"),
                                 QStringLiteral("4800"), QStringLiteral("9600")};

int Indice_Velocidad(int16_t velocidad) {
    for (int i = 0; i < 4; ++i)
        if (Velocidades_Lista[i] == velocidad)
            return i;
    return -1;
}

} // namespace

Comunicacion::Comunicacion(Enlace_Rele &enlace) : QDialog(nullptr), enlace_(enlace) {
    setWindowTitle(QStringLiteral("Communication"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    Construye();
    setFixedSize(600, 452);
}

Comunicacion::~Comunicacion() {
    if (cargada_ == this)
        cargada_ = nullptr;
    // The dialog's "Personal String" choice lives only as long as the dialog.
    Estado.Cadena_Personal_Local = false;
}

// The frames in the order the operator tabs through them: the order in which
// the controls are made is the tab order.
void Comunicacion::Construye() {
    auto *Label9 = new QLabel(QStringLiteral("COMMUNICATION CONTROL"), this);
    Label9->setFont(QFont(QStringLiteral("Arial"), 14, QFont::Bold));
    Label9->setAlignment(Qt::AlignCenter);
    Label9->setGeometry(0, 8, 600, 28);

    Construye_Computadora();
    Construye_Control();
    Construye_Modem_Remoto();
    Construye_Salida();

    // Enter in the telephone number or the lists must not trigger OK by itself.
    for (QPushButton *b : {Okey, Command1, Command2, Modem, Cancelar, Dispositivos})
        b->setAutoDefault(false);
}

// Address, port, speed, link type and telephone number.
void Comunicacion::Construye_Computadora() {
    auto *Frame1 = Marco(QStringLiteral("Computer Settings"), this, 10, 42, 265, 300);
    Etiqueta(QStringLiteral("Slave Address:"), Frame1, 12, 30, 150);
    Byte_UnR1 = new Byte_UnR(Frame1, &enlace_.Dialogos());
    Byte_UnR1->setGeometry(150, 28, 100, 24);
    Byte_UnR1->Lee_Propiedades(Diseno_Direccion());
    Etiqueta(QStringLiteral("Communication Port #:"), Frame1, 12, 64, 150);
    Combo1 = Lista(Puertos, Frame1, 160, 62, 90, 24);
    Etiqueta(QStringLiteral("Baud Rate:"), Frame1, 12, 98, 150);
    Combo2 = Lista(Velocidades, Frame1, 160, 96, 90, 24);
    // Nothing chosen until the load picks the speed in force: a speed the list
    // does not hold (19200 from a command line) must leave it empty, so that ON
    // and OK keep that speed instead of taking the first entry.
    Combo2->setCurrentIndex(-1);

    auto *Frame3 = Marco(QStringLiteral("Communication Type"), Frame1, 10, 134, 245, 80);
    auto *tipo = new QButtonGroup(this);
    for (int i = 0; i < 2; ++i) {
        Option1[i] = new QRadioButton(Frame3);
        Option1[i]->setGeometry(14 + 120 * i, 34, 20, 22);
        tipo->addButton(Option1[i], i);
        connect(Option1[i], &QRadioButton::clicked, this,
                [this, i] { Option1_Click(static_cast<int16_t>(i)); });
    }
    Etiqueta(QStringLiteral("Modem"), Frame3, 36, 34, 80)->setBuddy(Option1[0]);
    Etiqueta(QStringLiteral("RS485/422"), Frame3, 156, 34, 80)->setBuddy(Option1[1]);

    Etiqueta(QStringLiteral("Telephone Number"), Frame1, 12, 226, 150);
    Text1 = new QLineEdit(Frame1);
    Text1->setGeometry(12, 252, 240, 24);
    Text1->setMaxLength(20);
    connect(Text1, &QLineEdit::textChanged, this, &Comunicacion::Text1_Change);
    // In the free corner beside "Telephone Number": the port list keeps its place.
    Dispositivos = Boton(QStringLiteral("Port devices"), Frame1, 160, 224, 92, 24);
    connect(Dispositivos, &QPushButton::clicked, this, &Comunicacion::Dispositivos_Click);
}

// The local modem's string, ON and OFF, and the link's status.
void Comunicacion::Construye_Control() {
    auto *Frame2 = Marco(QStringLiteral("Communication Control"), this, 285, 42, 305, 180);
    Cadenas(Option3, Frame2, 28, 26);
    connect(Option3[1], &QRadioButton::toggled, this,
            [](bool personal) { Estado.Cadena_Personal_Local = personal; });
    Etiqueta(QStringLiteral("Communicate:"), Frame2, 14, 92, 100);
    Command1 = Boton(QStringLiteral("ON"), Frame2, 120, 88, 60, 28);
    Command2 = Boton(QStringLiteral("OFF"), Frame2, 190, 88, 60, 28);
    connect(Command1, &QPushButton::clicked, this, &Comunicacion::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Comunicacion::Command2_Click);
    Etiqueta(QStringLiteral("Status:"), Frame2, 14, 132, 60);
    Label6 = Etiqueta(QStringLiteral("Label6"), Frame2, 70, 132, 230);
    QFont estado = Label6->font();
    estado.setBold(true);
    Label6->setFont(estado);
}

// The remote modem's string, where its modem is and at what speed, and its OK.
void Comunicacion::Construye_Modem_Remoto() {
    auto *Frame4 = Marco(QStringLiteral("Remote Modem Programing"), this, 285, 228, 305, 160);
    Cadenas(Option2, Frame4, 26, 24);
    Option2[0]->setChecked(true);
    Etiqueta(QStringLiteral("Modem Location:"), Frame4, 14, 80, 120);
    Combo4 = Lista(Puertos, Frame4, 140, 78, 90, 24);
    Etiqueta(QStringLiteral("Baud Rate:"), Frame4, 14, 112, 120);
    Combo3 = Lista(Velocidades, Frame4, 140, 110, 90, 24);
    Modem = Boton(QStringLiteral("OK"), Frame4, 236, 26, 56, 28);
    connect(Modem, &QPushButton::clicked, this, &Comunicacion::Modem_Click);
}

// OK and Exit, in the frame that ON greys out while it runs.
void Comunicacion::Construye_Salida() {
    Frame5 = Marco(QString(), this, 10, 392, 580, 52);
    Okey = Boton(QStringLiteral("OK"), Frame5, 170, 12, 100, 30);
    Cancelar = Boton(QStringLiteral("Exit"), Frame5, 310, 12, 100, 30);
    connect(Okey, &QPushButton::clicked, this, &Comunicacion::Okey_Click);
    connect(Cancelar, &QPushButton::clicked, this, &Comunicacion::Cancelar_Click);
}

// "Default String" over "Personal String", one choice of the two.
void Comunicacion::Cadenas(QRadioButton *(&opciones)[2], QGroupBox *marco, int arriba, int paso) {
    auto *grupo = new QButtonGroup(this);
    opciones[0] = new QRadioButton(QStringLiteral("Default String"), marco);
    opciones[1] = new QRadioButton(QStringLiteral("Personal String"), marco);
    for (int i = 0; i < 2; ++i) {
        opciones[i]->setGeometry(14, arriba + paso * i, 200, 22);
        grupo->addButton(opciones[i], i);
    }
}

void Comunicacion::Form_Load() {
    Estado.Cancelar_Enlace = false;
    Byte_UnR1->Set_Value(Estado.Direccion_Rele);
    Byte_UnR1->Set_Text(QString::number(Estado.Direccion_Rele) + QLatin1Char(' '));
    // The number is kept padded to 20 with blanks; shown with them, the box
    // would be full and take no digit.
    Text1->blockSignals(true);
    QString telefono = Estado.Telefono.left(20);
    while (telefono.endsWith(QLatin1Char(' ')))
        telefono.chop(1);
    Text1->setText(telefono);
    Text1->blockSignals(false);
    Option1[Estado.Via_Modem ? 0 : 1]->setChecked(true);
    Option3[0]->setChecked(true);
    Estado.Cadena_Personal_Local = false;
    Label6->setText(Estado.Comunicacion_OK ? TP::Enlace_Activo : TP::Enlace_Caido);
    const int velocidad = Indice_Velocidad(Estado.Velocidad);
    if (velocidad >= 0)
        Combo2->setCurrentIndex(velocidad);
    // A port beyond COM4 (from a command line) has no entry: the list shows none.
    Combo1->setCurrentIndex(Estado.Puerto_Com >= 1 && Estado.Puerto_Com <= 4 ? Estado.Puerto_Com - 1
                                                                             : -1);
    Combo3->setCurrentIndex(Combo2->currentIndex());
    Combo4->setCurrentIndex(Combo1->currentIndex());
    const bool libre = !Estado.Modo_Linea_Comandos;
    Combo1->setEnabled(libre);
    Combo2->setEnabled(libre);
    Byte_UnR1->Set_Enabled(libre);
}

void Comunicacion::Toma_Controles() {
    Estado.Direccion_Rele = static_cast<uint8_t>(Byte_UnR1->Value() & 0xFF);
    if (Combo1->currentIndex() >= 0)
        Estado.Puerto_Com = static_cast<int16_t>(Combo1->currentIndex() + 1);
    if (Combo2->currentIndex() >= 0)
        Estado.Velocidad = Velocidades_Lista[Combo2->currentIndex()];
}

void Comunicacion::Paneles_Enlace() {
    Ventanas &textos = enlace_.Textos();
    textos.Escribe_Panel(5, QStringLiteral("Address: ") + Str(Estado.Direccion_Rele));
    textos.Escribe_Panel(4, QStringLiteral("Baud Rate: ") + Str(Estado.Velocidad));
    textos.Escribe_Panel(3, QStringLiteral("COM:") + Str(Estado.Puerto_Com));
}

void Comunicacion::Okey_Click() {
    Toma_Controles();
    Paneles_Enlace();
    Descarga();
}

void Comunicacion::Cancelar_Click() {
    Descarga();
}

// Escape while ON, OFF or the modem programming waits is refused by the unload.
void Comunicacion::reject() {
    Cancelar_Click();
}

void Comunicacion::closeEvent(QCloseEvent *evento) {
    if (En_Curso()) {
        evento->ignore();
        return;
    }
    evento->accept();
    Cancelar_Click();
}

void Comunicacion::Option1_Click(int16_t indice) {
    Estado.Via_Modem = indice == 0;
}

void Comunicacion::Text1_Change() {
    Estado.Telefono = Ajusta(Text1->text(), 20);
}

void Comunicacion::Command1_Click() {
    const Operacion operacion(*this);
    Estado.Cancelar_Enlace = false;
    Cancelar->setEnabled(false);
    Frame5->setEnabled(false);
    Estado.Errores_CRC = 0;
    Estado.Ocupado = false;
    Toma_Controles();

    const Respuesta respuesta =
        Estado.Modo_Linea_Comandos
            ? Respuesta::Yes
            : enlace_.Dialogos().Mensaje(
                  QStringLiteral("The SetPoints Will be Lost, Do You Want Save ?"), TP::Titulo,
                  Botones::Yes_No_Cancel, Icono::Critico);
    if (respuesta == Respuesta::Yes || respuesta == Respuesta::No) {
        if (respuesta == Respuesta::Yes && !Estado.Modo_Linea_Comandos)
            Guardar_Archivo(enlace_);
        Abrir_Puerto(enlace_);
        if (respuesta == Respuesta::Yes)
            Estado.Comunicacion_OK = true;
        enlace_.Lee_Identificacion(Estado.Direccion_Rele);
        if (Verifica_Identificacion()) {
            enlace_.Lee_Setpoints(Estado.Direccion_Rele);
            if (Estado.Comunicacion_OK) {
                enlace_.Lee_Valores_Actuales(Estado.Direccion_Rele);
                Arma_Trama_Escritura(Estado.Direccion_Rele);
            }
        } else {
            Estado.Comunicacion_OK = false;
        }
    }
    if (Estado.Comunicacion_OK) {
        enlace_.Textos().Escribe_Panel(6, TP::Comunicando);
        emit Avisos_Del_Dialogo().Enlace_Establecido();
    }
    Paneles_Enlace();
    if (respuesta == Respuesta::Cancel)
        enlace_.Textos().Escribe_Panel(6, TP::No_Comunicando);
    Frame5->setEnabled(true);
    Cancelar->setEnabled(true);
}

void Comunicacion::Command2_Click() {
    const Operacion operacion(*this);
    Estado.Cancelar_Enlace = true;
    Puerto_Serie &puerto = enlace_.MSComm1();
    if (puerto.PortOpen()) {
        puerto.Output(QByteArray(1, '\0'));
        int32_t comando = 2;
        enlace_.Ejecuta_Comando(Estado.Direccion_Rele, comando);
    }
    Estado.Comunicacion_OK = false;
    if (Estado.Via_Modem && puerto.PortOpen()) {
        // DTR low for a second makes the modem hang up.
        const Linea_Reservada reservada;
        puerto.Set_DTREnable(false);
        Estado.Segundos = 0;
        enlace_.Timer_Comunicacion().Set_Enabled(true);
        Espera_Modem(enlace_, [] { return Estado.Segundos >= 1; });
        enlace_.Timer_Comunicacion().Set_Enabled(false);
        puerto.Set_DTREnable(true);
    }
    Estado.Ocupado = false;
    enlace_.Textos().Escribe_Panel(6, TP::No_Comunicando);
    Label6->setText(TP::Enlace_Caido);
    emit Avisos_Del_Dialogo().Enlace_Cortado();
}

void Comunicacion::Modem_Click() {
    const Operacion operacion(*this);
    Programa_Modem_Remoto(enlace_, {Option2[1]->isChecked(), Combo3->currentIndex(),
                                    Combo4->currentIndex(), Combo4->currentText()});
}

void Comunicacion::Dispositivos_Click() {
    Dispositivos_Puerto dialogo(this);
    dialogo.exec();
}
