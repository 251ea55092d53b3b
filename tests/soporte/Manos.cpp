#include "tests/soporte/Manos.h"

#include "controles/Calculadora.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

void Con_Calculadora(std::function<void(Calculadora &)> manos) {
    QTimer::singleShot(0, [manos] {
        auto *dialogo = qobject_cast<Calculadora *>(QApplication::activeModalWidget());
        ASSERT_NE(dialogo, nullptr) << "the numeric entry dialog is not up";
        manos(*dialogo);
        EXPECT_FALSE(dialogo->isVisible()) << "the numeric entry dialog is still open";
        if (dialogo->isVisible())
            dialogo->reject();
    });
}

void Boton(Calculadora &c, const QString &nombre) {
    auto *boton = c.findChild<QPushButton *>(nombre);
    ASSERT_NE(boton, nullptr) << nombre.toStdString();
    QTest::mouseClick(boton, Qt::LeftButton);
}

void Entra(Calculadora &c, const QString &teclas) {
    Boton(c, QStringLiteral("Command1"));
    for (QChar t : teclas)
        Boton(c, t == u'.' ? QStringLiteral("Command2") : QStringLiteral("Numeros_%1").arg(t));
    Boton(c, QStringLiteral("OK"));
}

void Clic(QWidget &editor, const char *nombre) {
    QTest::mouseClick(editor.findChild<QWidget *>(QString::fromLatin1(nombre)), Qt::LeftButton);
}
