#include "tests/soporte/Banco.h"

#include "comun/DECLARACION_DE_VARIABLES.h"

#include <QFile>
#include <QTextStream>

void Banco::SetUp() {
    Reinicia_Estado();
    reloj = std::make_unique<Reloj_Virtual>(Tick_ms);
    puerto = std::make_unique<Puerto_Memoria>();
    puerto->reloj = reloj.get();
    timer = std::make_unique<Temporizador_Comunicacion>(*reloj);
    operador = std::make_unique<Operador_Guionizado>();
    ventanas = Ventanas_En_Memoria{};
    enlace = std::make_unique<Enlace_Rele>(*puerto, *timer, *operador, ventanas);
}

void Banco::TearDown() {
    enlace.reset();
    operador.reset(); // reports dialogs announced but never shown
    timer.reset();
    puerto.reset();
    reloj.reset();
}

void Banco::Enlace_Arriba() {
    ASSERT_TRUE(puerto->Set_PortOpen(true));
    Estado.Comunicacion_OK = true;
}

void Banco::Responde_Siempre(const QByteArray &respuesta) {
    puerto->al_recibir = [this, respuesta](const QByteArray &) { puerto->Inyecta(respuesta); };
}

QByteArray Hex(const char *texto) {
    return QByteArray::fromHex(QByteArray(texto).replace(' ', ""));
}

QByteArray Vector(const QString &descripcion) {
    // A missing vector fails the test that asked for it. The stand-in is long
    // enough for any frame, so that a test indexing into it goes on to its own
    // (failing) checks instead of stopping the whole program.
    const QByteArray sustituto(256, '\0');
    QFile archivo(QStringLiteral(KV73_VECTORS "/frames.tsv"));
    if (!archivo.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << archivo.fileName().toStdString();
        return sustituto;
    }
    QTextStream lector(&archivo);
    while (!lector.atEnd()) {
        const QStringList campos = lector.readLine().split(QLatin1Char('\t'));
        if (campos.size() == 2 && campos[0] == descripcion)
            return QByteArray::fromHex(campos[1].toLatin1().replace(' ', ""));
    }
    ADD_FAILURE() << "no vector \"" << descripcion.toStdString() << "\"";
    return sustituto;
}
