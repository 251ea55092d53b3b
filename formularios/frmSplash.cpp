#include "formularios/frmSplash.h"

#include "comun/Version.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {
QLabel *Rotulo(const QString &texto, QWidget *padre, QRect lugar, double puntos, bool negrita,
               Qt::Alignment alineacion = Qt::AlignLeft | Qt::AlignVCenter) {
    auto *l = new QLabel(texto, padre);
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(puntos);
    f.setBold(negrita);
    l->setFont(f);
    l->setGeometry(lugar);
    l->setAlignment(alineacion);
    return l;
}
} // namespace

QString Texto_Version() {
    return QStringLiteral("Version %1.%2.%3")
        .arg(KV73_VERSION_MAJOR)
        .arg(KV73_VERSION_MINOR)
        .arg(KV73_VERSION_PATCH);
}

frmSplash::frmSplash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("Form2"));
    setFixedSize(480, 300);
    auto *Frame1 = new QGroupBox(this);
    Frame1->setGeometry(8, 4, 464, 288);
    Rotulo(QStringLiteral("KV - 73"), Frame1, QRect(20, 30, 300, 60), 32.4, true);
    Rotulo(QStringLiteral("Veltra Sistemi"), Frame1, QRect(20, 96, 300, 34), 18, true);
    Rotulo(QStringLiteral("For Windows"), Frame1, QRect(20, 132, 300, 30), 15.6, true);
    lblVersion = Rotulo(QStringLiteral("Version 1.0"), Frame1, QRect(250, 170, 200, 24), 12, true,
                        Qt::AlignRight | Qt::AlignVCenter);
    Rotulo(QStringLiteral("Temperature relay configuration and monitoring"), Frame1,
           QRect(20, 206, 430, 20), 8.4, false);
    Rotulo(QStringLiteral("Modbus RTU over RS485/422 or telephone modem"), Frame1,
           QRect(20, 226, 430, 20), 8.4, false);
    Rotulo(QStringLiteral("Veltra Sistemi"), Frame1, QRect(20, 256, 200, 20), 8.4, false);
    if (const QScreen *pantalla = QGuiApplication::primaryScreen())
        move(pantalla->availableGeometry().center() - rect().center());
    Form_Load();
}

void frmSplash::Form_Load() {
    lblVersion->setText(Texto_Version());
}

void frmSplash::keyPressEvent(QKeyEvent *) {
    close();
}

void frmSplash::mousePressEvent(QMouseEvent *) {
    close();
}
