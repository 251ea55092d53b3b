#include "formularios/Ventana_Teclas.h"

#include "comun/Version.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

struct Fila_Tecla {
    const char *tecla; // empty: the row heads a group
    const char *que;
};

// The keys in the order the operator meets them: the menu's items as the menu
// lists them, the tools, then the keys of the focused control.
const Fila_Tecla Filas[] = {
    {"", "Menu"},
    {"Ctrl+O", "Load File"},
    {"Ctrl+S", "Save File"},
    {"Ctrl+Shift+S", "Send Setpoints to Relay"},
    {"Ctrl+P", "Print"},
    {"Ctrl+K", "Communication"},
    {"Ctrl+Q", "Exit"},
    {"Ctrl+N", "New"},
    {"", "Tools (the Tools button, or a right click on the page)"},
    {"Ctrl+R", "Record the values to a CSV file; again to stop"},
    {"Ctrl+T", "Trend of the temperatures and thresholds"},
    {"Ctrl+L", "Traffic on the line"},
    {"Ctrl+B", "Bus: every relay of the line in one window"},
    {"Ctrl+E", "Events: lamps, link losses, setpoint writes and resets of every relay"},
    {"F1", "Keys and tools (this window)"},
    {"", "On the page"},
    {"Tab, Shift+Tab", "Next, previous control: the setpoints, STORE, Clear, the menu"},
    {"Up, Down", "Step the focused setpoint (or the relay address) as its arrows do"},
    {"Enter, F2", "Numeric keypad for the focused setpoint (or the relay address)"},
    {"Enter, Space", "Choose the focused menu item"},
};

const QString Licencia = QStringLiteral("MIT License. Copyright (c) 2026 the kv73 developers.");

QTableWidgetItem *Celda(const QString &texto, bool cabecera) {
    auto *celda = new QTableWidgetItem(texto);
    celda->setFlags(Qt::ItemIsEnabled);
    if (cabecera) {
        QFont f = celda->font();
        f.setBold(true);
        celda->setFont(f);
    }
    return celda;
}

QTableWidget *Tabla_Teclas(QWidget *padre) {
    auto *tabla = new QTableWidget(static_cast<int>(std::size(Filas)), 2, padre);
    tabla->setObjectName(QStringLiteral("Teclas"));
    tabla->setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Does")});
    tabla->verticalHeader()->hide();
    tabla->setShowGrid(false);
    tabla->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabla->setSelectionMode(QAbstractItemView::NoSelection);
    // Read, not worked in: no current cell, one line a key.
    tabla->setFocusPolicy(Qt::NoFocus);
    tabla->setWordWrap(false);
    tabla->verticalHeader()->setDefaultSectionSize(tabla->fontMetrics().height() + 6);
    int fila = 0;
    for (const Fila_Tecla &f : Filas) {
        const bool cabecera = *f.tecla == '\0';
        // Keys read as the platform writes them (Ctrl, or Cmd on a Mac).
        const QString tecla =
            QKeySequence(QLatin1String(f.tecla)).toString(QKeySequence::NativeText);
        tabla->setItem(fila, 0, Celda(cabecera ? QString() : tecla, false));
        tabla->setItem(fila, 1, Celda(QLatin1String(f.que), cabecera));
        ++fila;
    }
    tabla->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tabla->horizontalHeader()->setStretchLastSection(true);
    return tabla;
}

} // namespace

const std::vector<Herramienta> &Herramientas() {
    static const std::vector<Herramienta> lista = {
        {Qt::CTRL | Qt::Key_R, "Record values to CSV..."},
        {Qt::CTRL | Qt::Key_T, "Trend..."},
        {Qt::CTRL | Qt::Key_L, "Traffic..."},
        {Qt::CTRL | Qt::Key_B, "Bus..."},
        {Qt::CTRL | Qt::Key_E, "Events..."},
    };
    return lista;
}

Ventana_Teclas::Ventana_Teclas(QWidget *padre) : QDialog(padre) {
    setWindowTitle(QStringLiteral("Keys and tools"));
    setObjectName(QStringLiteral("Ventana_Teclas"));
    auto *pila = new QVBoxLayout(this);
    Tabla = Tabla_Teclas(this);
    pila->addWidget(Tabla);
    auto *acerca = new QLabel(Acerca(), this);
    acerca->setObjectName(QStringLiteral("Acerca"));
    acerca->setWordWrap(true);
    pila->addWidget(acerca);
    auto *botones = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(botones, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pila->addWidget(botones);
    // Every row in sight without scrolling.
    resize(560, Tabla->verticalHeader()->length() + Tabla->horizontalHeader()->height() +
                    acerca->sizeHint().height() + botones->sizeHint().height() + 48);
}

QString Ventana_Teclas::Acerca() const {
    return QStringLiteral("kv73 %1: configures and watches KV-73 temperature relays over "
                          "Modbus RTU.\n%2")
        .arg(QLatin1String(KV73_VERSION), Licencia);
}
