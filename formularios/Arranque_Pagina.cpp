#include "formularios/Arranque_Pagina.h"

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "formularios/AVPAGE2.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QScrollBar>
#include <QStyle>

namespace {

// The title bar the window manager will add: not known before the window is
// shown, so the style's own title bar stands in for it.
int Alto_Titulo() {
    return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
}

} // namespace

Marco_Pagina::Marco_Pagina(AVPAGE2 &pagina) : QScrollArea(nullptr), pagina_(pagina) {
    // The page's own window decorations: a title and a close button, as the
    // page has on a screen it fits.
    setWindowFlags(pagina.windowFlags());
    setWindowTitle(pagina.windowTitle());
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignCenter);
    setWidget(&pagina);
    // The title follows the loaded file and the link as the page's does.
    connect(&pagina, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
    // A control reached by Tab, a shortcut or a click on a half-hidden editor
    // comes into view, so an operator with the keyboard alone sees where he is.
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget *, QWidget *ahora) { Sigue_Foco(ahora); });
}

Marco_Pagina::~Marco_Pagina() {
    // The page is not this window's: it goes on its own, after this window.
    takeWidget();
}

void Marco_Pagina::closeEvent(QCloseEvent *evento) {
    // The close button is the page's: the page decides, and may ask first.
    evento->setAccepted(pagina_.close());
}

void Marco_Pagina::Sigue_Foco(QWidget *foco) {
    if (foco && pagina_.isAncestorOf(foco))
        ensureWidgetVisible(foco);
}

bool Cabe_En(QSize tamano, int alto_titulo, const QRect &libre) {
    return tamano.width() <= libre.width() && tamano.height() + alto_titulo <= libre.height();
}

namespace {

// The window's size for `libre` with borders of `borde` around it: the whole
// page where a side fits, the free area where it does not; a scroll bar on one
// side takes room from the other.
void Ajusta_Marco(Marco_Pagina &marco, const QSize &pagina, const QRect &libre, QSize borde) {
    const QSize cabe = libre.size() - borde;
    const int barra = marco.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QSize todo = pagina;
    if (todo.height() > cabe.height())
        todo.rwidth() += barra;
    if (todo.width() > cabe.width())
        todo.rheight() += barra;
    marco.resize(todo.boundedTo(cabe));
    marco.move(libre.topLeft());
}

} // namespace

std::unique_ptr<Marco_Pagina> Muestra_En_Pantalla(AVPAGE2 &pagina, const QRect &libre) {
    const int titulo = Alto_Titulo();
    if (libre.isEmpty() || Cabe_En(pagina.size(), titulo, libre)) {
        if (!libre.isEmpty())
            pagina.move(libre.center() - pagina.rect().center());
        pagina.show();
        return nullptr;
    }
    auto marco = std::make_unique<Marco_Pagina>(pagina);
    Ajusta_Marco(*marco, pagina.size(), libre, QSize(0, titulo));
    marco->show();
    // Shown, the window knows its real borders: it fits them.
    const QSize borde = marco->frameGeometry().size() - marco->size();
    if (!borde.isEmpty())
        Ajusta_Marco(*marco, pagina.size(), libre, borde);
    return marco;
}

void Abre_Archivo_Inicial(AVPAGE2 &pagina, Enlace_Rele &enlace, const QString &ruta) {
    // The title names the file as the open dialog would have: in full.
    Leer_Archivo(enlace, QFileInfo(ruta).absoluteFilePath());
    if (!Estado.Edicion_Pendiente)
        pagina.Actualiza_Valores_de_Pantalla_SP();
    pagina.Actualiza_Valores_de_Pantalla();
    pagina.Muestra_Edicion_Pendiente();
}
