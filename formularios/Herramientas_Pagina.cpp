#include "formularios/Herramientas_Pagina.h"

#include "formularios/Ventana_Teclas.h"

#include <QAction>
#include <QMenu>
#include <QShortcut>
#include <QStatusBar>
#include <QToolButton>
#include <QWidget>

Herramientas_Pagina::Herramientas_Pagina(QWidget &pagina, QStatusBar &barra)
    : QObject(&pagina), pagina_(pagina) {
    setObjectName(QStringLiteral("Herramientas_Pagina"));
    ayuda_ = new QAction(QStringLiteral("Keys and tools..."), this);
    ayuda_->setShortcut(QKeySequence(Qt::Key_F1));
    ayuda_->setShortcutContext(Qt::WindowShortcut);
    pagina.addAction(ayuda_);
    connect(ayuda_, &QAction::triggered, this, &Herramientas_Pagina::Abre_Teclas);

    menu_ = new QMenu(&pagina);
    connect(menu_, &QMenu::aboutToShow, this, &Herramientas_Pagina::Rellena);
    boton_ = new QToolButton(&barra);
    boton_->setObjectName(QStringLiteral("Herramientas"));
    boton_->setText(QStringLiteral("Tools"));
    boton_->setToolTip(QStringLiteral("Record, trend, traffic, and the keys of the page (F1)"));
    boton_->setAutoRaise(true);
    boton_->setPopupMode(QToolButton::InstantPopup);
    boton_->setMenu(menu_);
    barra.addPermanentWidget(boton_);

    // A right click on the page opens the same menu; the controls that have
    // their own keep theirs.
    pagina.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&pagina, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &lugar) { menu_->popup(pagina_.mapToGlobal(lugar)); });
}

Herramientas_Pagina *Herramientas_Pagina::De(const QWidget &pagina) {
    return pagina.findChild<Herramientas_Pagina *>(QStringLiteral("Herramientas_Pagina"),
                                                   Qt::FindDirectChildrenOnly);
}

QMenu *Herramientas_Pagina::Menu() {
    Rellena();
    return menu_;
}

// Made again at each show: the windows hang their keys on the page after it is
// built, and the record item says whether it starts or stops.
void Herramientas_Pagina::Rellena() {
    menu_->clear();
    qDeleteAll(propias_);
    propias_.clear();
    menu_->setToolTipsVisible(true);
    for (const Herramienta &h : Herramientas())
        if (QAction *accion = Accion_De(QKeySequence(h.tecla), h.nombre))
            menu_->addAction(accion);
    menu_->addSeparator();
    menu_->addAction(ayuda_);
}

QAction *Herramientas_Pagina::Accion_De(const QKeySequence &tecla, const QString &nombre) {
    for (QAction *accion : pagina_.actions())
        if (accion->shortcut() == tecla)
            return accion;
    for (QShortcut *atajo : pagina_.findChildren<QShortcut *>())
        if (atajo->key() == tecla) {
            // The text after the tab is shown as the key: the action takes no
            // key of its own, which would make the page's one ambiguous.
            auto *accion = new QAction(
                nombre + QLatin1Char('\t') + tecla.toString(QKeySequence::NativeText), this);
            connect(accion, &QAction::triggered, atajo, &QShortcut::activated);
            propias_.append(accion);
            return accion;
        }
    return nullptr;
}

Ventana_Teclas *Herramientas_Pagina::Teclas() const {
    return teclas_;
}

void Herramientas_Pagina::Abre_Teclas() {
    if (!teclas_)
        teclas_ = new Ventana_Teclas(&pagina_);
    teclas_->show();
    teclas_->raise();
    teclas_->activateWindow();
}

void Instala_Herramientas(QWidget &pagina, QStatusBar &barra) {
    new Herramientas_Pagina(pagina, barra);
}
