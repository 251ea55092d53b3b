#pragma once
// What the page says of the link beside the relay's own texts. With the link
// down every temperature reads the open-probe code, which an operator can take
// for four broken probes: a plain line under the values says since when the
// link is down. And the window's title says what the program is doing now:
// the relay it polls while the link is up, not the last file loaded.

#include <QDateTime>
#include <QObject>

class AVPAGE2;
class Principal;
class QLabel;

class Aviso_Enlace : public QObject {
    Q_OBJECT
  public:
    Aviso_Enlace(AVPAGE2 &pagina, Principal &host);

    // The one a page was given.
    static Aviso_Enlace *De(const AVPAGE2 &pagina);

    // Looks at the link again: the line and the title follow it.
    void Revisa();

    QLabel *Rotulo() const { return rotulo_; }
    // When the page saw the link go down; invalid while it is up or before it
    // was ever up.
    QDateTime Caido_Desde() const { return desde_; }

    // The title while the link is up, and once it has gone down.
    static QString Titulo_En_Vivo();
    static QString Titulo_Caido();

  protected:
    bool eventFilter(QObject *objeto, QEvent *evento) override;

  private:
    void Escribe_Rotulo();
    void Escribe_Titulo();

    AVPAGE2 &pagina_;
    Principal &host_;
    QLabel *rotulo_ = nullptr;
    bool arriba_ = false;
    bool revisando_ = false;
    QDateTime desde_;
};
