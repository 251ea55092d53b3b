#pragma once
// What the word and byte setpoint editors share: a read-only text box showing
// raw value x Paso in the pattern Formato followed by the unit, up/down arrows
// beside it that step the raw value inside Min..Max, and a click on the text box
// that opens the numeric entry dialog; with the focus on the text box, Up and
// Down step as the arrows do and Enter or F2 opens the dialog. Every change is
// stored into the edit image Nuevos_Setpoints at once; how and where is the
// editor's own business.
//
// Booleans of the control (Enabled, the results of Inicializacion) are C++ bool.

#include <QFont>
#include <QString>
#include <QVariant>
#include <QWidget>
#include <cstdint>

class Bolsa_Propiedades;
class QKeyEvent;
class QLineEdit;
class QToolButton;

class Operador;

class Editor_UnR : public QWidget {
    Q_OBJECT
  public:
    // Free slots: stored and persisted, read by no editing step.
    uint8_t Bit_de_Bloque() const { return bit_de_bloque_; }
    void Set_Bit_de_Bloque(uint8_t valor);
    uint8_t Bit_de_Word() const { return bit_de_word_; }
    void Set_Bit_de_Word(uint8_t valor);

    QString Text() const;
    void Set_Text(const QString &texto);
    // The control's own enabled state, whatever its container's.
    bool Enabled() const;
    void Set_Enabled(bool activo);
    QFont Font() const;
    void Set_Font(const QFont &letra);

    // Scale: shown value = raw value x Paso.
    float Paso() const { return paso_; }
    void Set_Paso(float valor);
    // Position of the register in Set_Setpoints; Inicializacion recomputes it.
    uint8_t Posicion_Set() const { return posicion_set_; }
    void Set_Posicion_Set(uint8_t valor);
    QVariant Dato() const { return dato_; }
    void Set_Dato(const QVariant &valor);
    QString Medida() const { return medida_; }
    void Set_Medida(const QString &texto);
    QString Formato() const { return formato_; }
    void Set_Formato(const QString &patron);

    // Repaints the text box.
    void Refresh();

    // Setting Max, Value or Min changes nothing else: no redraw, no clamping, no
    // store. The host calls Refrescar (word editor) to show and store a Value.
    int32_t Max() const { return max_; }
    void Set_Max(int32_t valor);
    int32_t Value() const { return value_; }
    void Set_Value(int32_t valor);
    int32_t Min() const { return min_; }
    void Set_Min(int32_t valor);
    int32_t SmallChange() const { return small_change_; }
    void Set_SmallChange(int32_t valor);
    // Register address, four hexadecimal digits ("0100").
    QString Direccion() const { return direccion_; }
    void Set_Direccion(const QString &texto);
    // Title line of the numeric entry dialog.
    QString Titulo() const { return titulo_; }
    void Set_Titulo(const QString &texto);

    // Loads Value from Set_Setpoints at the register of Direccion and shows it;
    // stores nothing and raises nothing. Always true.
    bool Inicializacion();

    // The saved properties, and the forms' design-time values.
    virtual void Lee_Propiedades(const Bolsa_Propiedades &bolsa);
    virtual void Escribe_Propiedades(Bolsa_Propiedades &bolsa) const;

    QSize sizeHint() const override;

  signals:
    void Change();
    void Click();
    void DblClick();
    void Resize();

  protected:
    // `dialogos` is who the numeric keypad opened on a click talks to.
    Editor_UnR(QWidget *padre, Operador *dialogos);

    // Value x Paso in the pattern, a blank, the unit.
    void Muestra_Valor();
    virtual void Guarda_Valor() = 0;
    virtual int32_t Lee_Registro(uint8_t posicion) const = 0;
    // What each editor adds after an arrow step and before taking the dialog's result.
    virtual void Tras_Flecha() {}
    virtual void Antes_De_Resultado() {}

    void resizeEvent(QResizeEvent *evento) override;
    bool eventFilter(QObject *objeto, QEvent *evento) override;

    QLineEdit *Text1;

  private:
    Operador *dialogos_;
    void UpDown1_Click(int sentido);
    void Text1_Click();
    // A key on the focused text box; true when it was the editor's.
    bool Tecla(const QKeyEvent &tecla);
    void Pon_Fondo_Texto(int32_t color);

    QWidget *UpDown1;
    QToolButton *Arriba;
    QToolButton *Abajo;
    bool pulsado_ = false;
    int32_t fondo_texto_;

    uint8_t bit_de_bloque_ = 0;
    uint8_t bit_de_word_ = 0;
    float paso_ = 0;
    uint8_t posicion_set_ = 0;
    QVariant dato_ = 0;
    QString medida_ = QStringLiteral("0");
    QString formato_ = QStringLiteral("0");
    int32_t max_ = 0;
    int32_t value_ = 0;
    int32_t min_ = 0;
    int32_t small_change_ = 0;
    QString direccion_ = QStringLiteral("0");
    QString titulo_ = QStringLiteral("0");
};
