#pragma once
// The main page: the setpoints with their editors and option lists, the live
// temperatures and maxima, the front-panel lamps, and the menu. While the link is
// up, Timer1 polls twice a second and runs the operator's queued requests after
// its poll; Timer2 re-reads the setpoints once a minute.

#include "registro/Fila_Registro.h"

#include <QTimer>
#include <QWidget>
#include <array>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QStatusBar;
class UserControl1;
class Word_UnR;
class Marcador_Menu;
class Principal;
class Enlace_Rele;

class AVPAGE2 : public QWidget {
    Q_OBJECT
  public:
    // The page works through the run's host: its link, dialogs, printer and end.
    explicit AVPAGE2(Principal &host);
    ~AVPAGE2() override;

    void Form_Load();
    void Form_Activate();
    void Form_Unload();

    void Menu_Click(int indice);
    void Menu_MouseMove(int indice);
    void Frame3_MouseMove();

    // Refresh of the lamps, temperatures and maxima from Valores_Actuales.
    void Actualiza_Valores_de_Pantalla();
    // Refresh of the editors and option lists from Set_Setpoints.
    void Actualiza_Valores_de_Pantalla_SP();

    void Timer1_Timer();
    void Timer2_Timer();
    void Ejecuta_Pendientes();
    void Arranca_Sondeo();
    // Both timers on: the settings dialog's ON brought the link up.
    void Arranca_Timers();

    void Combo_Click(int indice);
    void Word_UnR_Change(int indice);
    void Command1_Click();
    void Reset_Click(int indice);
    // The STORE button shows whether edits are waiting to be sent.
    void Muestra_Edicion_Pendiente();

    UserControl1 *UserControl11;
    std::array<Word_UnR *, 4> Word_UnR_{};
    std::array<QComboBox *, 4> Combo{}; // Combo1..Combo4
    std::array<QLabel *, 4> Actual{};
    std::array<QLabel *, 4> Tmaximun{};
    std::array<QLabel *, 7> Menu{};
    QLabel *RTD;
    QFrame *Ventilador;
    QFrame *Sonda_4;
    QPushButton *Command1;
    QPushButton *Reset;
    QStatusBar *Barra_Estado;
    QTimer Timer1;
    QTimer Timer2;

  signals:
    // A poll of Timer1 that went on the line has ended, as it ended: the value
    // log and the trend take it from here. `hora`: when the poll began; a
    // failed one can end much later, once the operator has read its message.
    void Sondeo_Hecho(Estado_Sondeo estado, const QDateTime &hora);
    // A tick's poll and queued requests are done with the link up and the line
    // free: one exchange more may go out now (the bus window's).
    void Turno_Bus();

  protected:
    void showEvent(QShowEvent *evento) override;
    void closeEvent(QCloseEvent *evento) override;
    bool eventFilter(QObject *objeto, QEvent *evento) override;

  private:
    Enlace_Rele &Enlace();
    void Construye();
    void Construye_Setpoints();
    void Construye_Actuales();
    void Construye_Menu();
    void Construye_Atajos_Menu();
    // Focus and keys on menu item `indice`; true when the key chose it.
    bool Menu_Teclado(int indice, QEvent *evento);
    void Construye_Barra();
    void Ordena_Tabulacion();
    void Muestra_Sondas(bool cuatro);
    // The follower of leader `indice` (0: L1, 2: Low Fan) takes the leader's
    // value as its floor; that value.
    int32_t Pon_Minimo_Seguidor(int indice);
    // Status value for a launching program (command-line mode only).
    void Escribe_Estado(int16_t valor);
    // The menu's items that take more than one call.
    void Carga_Archivo();
    void Abre_Comunicacion();
    void Sale();
    // True when no edit waits to be sent, or the operator leaves it unsent.
    bool Deja_Ediciones();
    void Nuevo();
    void Envia_Setpoints();
    // An editor or list changed by the operator.
    void Marca_Edicion();
    void Imprime();
    // The relay's Prog lamp from its status words: lit, and (blink bit) blinking.
    bool Prog_Encendido() const;
    bool Prog_Parpadea() const;

    Principal &host_;
    std::array<Marcador_Menu *, 7> Circulo{};
    QFrame *Frame3;
    QFrame *Line2;
    QLabel *Paneles[6];
};

// Where the status file for a launching program is: KV73_STATUS_FILE when set,
// else the place the launcher reads; empty when its folder does not exist.
QString Ruta_Archivo_Estado();
