#pragma once
// The communication settings dialog: port, speed, slave address, direct line or
// telephone modem with its number; ON and OFF; and the programming of a remote
// modem. Command-line start-up runs its load and ON without showing it, and the
// core writes its status label, which loads it hidden when it is not loaded.

#include <QDialog>

class Byte_UnR;
class Enlace_Rele;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// What the settings dialog tells the rest of the program. One for the run, as
// the dialog itself is loaded and unloaded; the start-up connects the page to it.
class Avisos_Comunicacion : public QObject {
    Q_OBJECT
  signals:
    void Enlace_Establecido(); // ON brought the link up
    void Enlace_Cortado();     // OFF took it down
};
Avisos_Comunicacion &Avisos_Del_Dialogo();

class Comunicacion : public QDialog {
    Q_OBJECT
  public:
    // The loaded dialog, loading it (hidden, through Form_Load) when it is not.
    // ON and OFF work on `enlace`, the run's link.
    static Comunicacion &Cargada(Enlace_Rele &enlace);
    // The loaded dialog, or null.
    static Comunicacion *Si_Cargada();
    // Unloads the dialog (OK and Exit do it).
    static void Descarga();

    void Form_Load();
    void Okey_Click();
    void Cancelar_Click();
    void Option1_Click(int16_t indice);
    void Text1_Change();
    void Command1_Click();
    void Command2_Click();
    void Modem_Click();
    // "Port devices": which device each COM number opens.
    void Dispositivos_Click();

    // ON, OFF or the remote modem programming is running: their waits let
    // events through, and the dialog must outlive them, so it refuses to close.
    bool En_Curso() const { return en_curso_ > 0; }

    QLabel *Label6;
    Byte_UnR *Byte_UnR1;
    QComboBox *Combo1;        // port
    QComboBox *Combo2;        // speed
    QComboBox *Combo3;        // speed for the remote modem
    QComboBox *Combo4;        // port of the remote modem
    QRadioButton *Option1[2]; // 0 modem, 1 RS485/422
    QRadioButton *Option2[2]; // remote modem: 0 default string, 1 personal string
    QRadioButton *Option3[2]; // local modem: 0 default string, 1 personal string
    QLineEdit *Text1;
    QPushButton *Command1; // ON
    QPushButton *Command2; // OFF
    QPushButton *Modem;
    QPushButton *Dispositivos; // "Port devices"
    QPushButton *Okey;
    QPushButton *Cancelar;
    QGroupBox *Frame5;

  protected:
    void closeEvent(QCloseEvent *evento) override;
    void reject() override;

  private:
    Enlace_Rele &enlace_;
    explicit Comunicacion(Enlace_Rele &enlace);
    ~Comunicacion() override;
    void Construye();
    // One frame of the dialog each, made in this order.
    void Construye_Computadora();
    void Construye_Control();
    void Construye_Modem_Remoto();
    void Construye_Salida();
    // The two string choices of a modem frame, from `arriba`, `paso` apart.
    void Cadenas(QRadioButton *(&opciones)[2], QGroupBox *marco, int arriba, int paso);
    // Address, port and speed from the controls into the link settings.
    void Toma_Controles();
    void Paneles_Enlace();

    struct Operacion;
    int en_curso_ = 0;
    static Comunicacion *cargada_;
};

// Speeds of the lists, by index.
inline constexpr int16_t Velocidades_Lista[] = {1200, 2400, 4800, 9600};
