#pragma once
// What the start-up does with the main page: where it goes on the screen (on
// its own when it fits, else scrolling inside a window of the screen's free
// area), and the setpoint file the program was opened with.

#include <QRect>
#include <QScrollArea>
#include <QSize>
#include <memory>

class AVPAGE2;
class Enlace_Rele;

// The window that holds the page on a screen too small for it: the page keeps
// its own size and scrolls, the focused control is scrolled into view, the
// title is the page's and the close button asks the page, which may refuse.
class Marco_Pagina : public QScrollArea {
    Q_OBJECT
  public:
    explicit Marco_Pagina(AVPAGE2 &pagina);
    ~Marco_Pagina() override;

  protected:
    void closeEvent(QCloseEvent *evento) override;

  private:
    void Sigue_Foco(QWidget *foco);

    AVPAGE2 &pagina_;
};

// True when a window of `tamano` with a title bar of `alto_titulo` fits `libre`.
bool Cabe_En(QSize tamano, int alto_titulo, const QRect &libre);

// Shows the page in the middle of `libre` (a screen's free area) when it fits,
// else in a scrolling window that fills `libre`; that window, or null when the
// page is its own window. It must go before the page does.
std::unique_ptr<Marco_Pagina> Muestra_En_Pantalla(AVPAGE2 &pagina, const QRect &libre);

// Loads the setpoint file `ruta` onto the page as Load File does once the
// operator has picked it: its setpoints and values on the page, its name in the
// title, or the program's message when it cannot be loaded.
void Abre_Archivo_Inicial(AVPAGE2 &pagina, Enlace_Rele &enlace, const QString &ruta);
