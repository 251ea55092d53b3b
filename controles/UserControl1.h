#pragma once
// The status indicator panel: a picture of the relay's front with its twelve
// lamps. The host sets one property per lamp from the relay's status registers
// and then calls Refrescar; a setter alone changes nothing on the picture, so the
// panel always shows one consistent poll.
//
// Booleans (Enabled, the lamps, the results of Refrescar and Desactivar) are C++ bool.

#include <QPixmap>
#include <QString>
#include <QWidget>
#include <array>

class Bolsa_Propiedades;

class UserControl1 : public QWidget {
    Q_OBJECT
  public:
    explicit UserControl1(QWidget *padre = nullptr);

    // Lights each lamp whose property is true and darkens the others. Always false.
    bool Refrescar();
    // Darkens all twelve lamps; the properties keep their values. Always false.
    bool Desactivar();

    // Whether the control takes mouse input; the lamps do not depend on it.
    bool Enabled() const;
    void Set_Enabled(bool activo);

    bool Fault() const { return propiedades_[0]; }
    void Set_Fault(bool v) { Fija(0, v); }
    bool Pt1() const { return propiedades_[1]; }
    void Set_Pt1(bool v) { Fija(1, v); }
    bool Pt2() const { return propiedades_[2]; }
    void Set_Pt2(bool v) { Fija(2, v); }
    bool Pt3() const { return propiedades_[3]; }
    void Set_Pt3(bool v) { Fija(3, v); }
    bool Pt4() const { return propiedades_[4]; }
    void Set_Pt4(bool v) { Fija(4, v); }
    bool L1() const { return propiedades_[5]; }
    void Set_L1(bool v) { Fija(5, v); }
    bool L2() const { return propiedades_[6]; }
    void Set_L2(bool v) { Fija(6, v); }
    bool FAN() const { return propiedades_[7]; }
    void Set_FAN(bool v) { Fija(7, v); }
    bool Prog() const { return propiedades_[8]; }
    void Set_Prog(bool v) { Fija(8, v); }
    bool Aut() const { return propiedades_[9]; }
    void Set_Aut(bool v) { Fija(9, v); }
    bool Man() const { return propiedades_[10]; }
    void Set_Man(bool v) { Fija(10, v); }
    bool Tmax() const { return propiedades_[11]; }
    void Set_Tmax(bool v) { Fija(11, v); }

    // Whether lamp k (0..11, Fault to Tmax) is lit on the picture now.
    bool Led_Encendido(int k) const { return encendidos_.at(static_cast<std::size_t>(k)); }

    // The saved properties. A host that saved none gets a disabled panel with
    // every lamp property false.
    void Lee_Propiedades(const Bolsa_Propiedades &bolsa);
    void Escribe_Propiedades(Bolsa_Propiedades &bolsa) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent *evento) override;

  private:
    void Fija(int k, bool valor);
    void Prepara_Imagenes();

    std::array<bool, 12> propiedades_{};
    std::array<bool, 12> encendidos_{};
    QPixmap panel_;
    QPixmap rojo_;
    QPixmap verde_;
    QPixmap verde_grande_;
    qreal escala_imagenes_ = 0;
};
