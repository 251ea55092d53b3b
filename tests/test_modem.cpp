// Opening the port, the modem dial-up, the file "AT" and the remote modem
// programming, with a scripted modem on the in-memory port.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Cadena_Modem.h"
#include "enlace/Programacion_Modem.h"
#include "tests/soporte/Banco.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>

namespace {

const QString Ok = QStringLiteral("\r\nOK\r\n");

// A modem that answers each line (up to its CR) from a table; lines it does not
// know get no answer. Answers may arrive in pieces.
class Modem : public Banco {
  protected:
    void SetUp() override {
        Banco::SetUp();
        ASSERT_TRUE(carpeta.isValid());
        anterior = QDir::currentPath();
        QDir::setCurrent(carpeta.path());
        puerto->al_escribir = [this](const QByteArray &bytes) {
            linea += QString::fromLatin1(bytes);
            while (linea.contains(QLatin1Char('\r'))) {
                const QString comando = linea.section(QLatin1Char('\r'), 0, 0);
                linea = linea.section(QLatin1Char('\r'), 1);
                lineas.push_back(comando);
                const auto r = respuestas.find(Clave(comando));
                if (r == respuestas.end())
                    continue;
                int retardo = 0;
                for (const QString &trozo : r->second) {
                    puerto->Inyecta_Despues(retardo, trozo.toLatin1());
                    retardo += Tick_ms / 3;
                }
            }
        };
    }
    void TearDown() override {
        QDir::setCurrent(anterior);
        Banco::TearDown();
    }
    static QString Clave(const QString &comando) {
        return comando.startsWith(QLatin1String("ATDT")) ? QStringLiteral("ATDT") : comando;
    }
    void Modem_Con(std::map<QString, std::vector<QString>> tabla) { respuestas = std::move(tabla); }
    void Por_Modem(const char *telefono = "5551234") {
        Estado.Via_Modem = true;
        Estado.Telefono = QString::fromLatin1(telefono).leftJustified(20);
    }
    QByteArray Archivo_AT() {
        QFile f(QStringLiteral("AT"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir carpeta;
    QString anterior;
    QString linea;
    std::vector<QString> lineas;
    std::map<QString, std::vector<QString>> respuestas;
};

} // namespace

TEST_F(Modem, DirectLineOpensWithoutTraffic) {
    Estado.Puerto_Com = 3;
    Estado.Velocidad = 2400;
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_TRUE(puerto->escrituras.empty());
    EXPECT_EQ(puerto->CommPort(), 3);
    EXPECT_EQ(puerto->Settings().toStdString(), " 2400,N,8,1");

    // Opening an open port closes it first and opens it with the new values.
    Estado.Puerto_Com = 4;
    Abrir_Puerto();
    EXPECT_EQ(puerto->aperturas, 2);
    EXPECT_EQ(puerto->CommPort(), 4);

    // A port that is not there: the message, and the link flag as it was.
    puerto->Set_PortOpen(false);
    puerto->existe = false;
    Estado.Puerto_Com = 5;
    operador->Espera_Mensaje(QStringLiteral("Invalid Number Port: 5"));
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
}

TEST_F(Modem, DialUpSendsItsLinesAndAcceptsTheConnectTexts) {
    Por_Modem();
    Modem_Con({{QStringLiteral("ATE0"), {Ok}},
               {QStringLiteral("ATDT"), {QStringLiteral("\r\nCONNECT 2400\r\n")}}});
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_EQ(lineas, (std::vector<QString>{QString(), QStringLiteral("ATE0"),
                                            QStringLiteral("ATDT5551234             ")}));
    EXPECT_EQ(puerto->dtr, std::vector<bool>{true});

    // A connect reply that arrives in two pieces is read whole.
    Modem_Con({{QStringLiteral("ATE0"), {Ok}},
               {QStringLiteral("ATDT"), {QStringLiteral("\r\nCONN"), QStringLiteral("ECT 9600\r\n")}}});
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);

    for (const char *rechazo : {"\r\nCONNECT 19200\r\n", "\r\nBUSY\r\n"}) {
        Modem_Con({{QStringLiteral("ATE0"), {Ok}}, {QStringLiteral("ATDT"), {QLatin1String(rechazo)}}});
        operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
        Abrir_Puerto();
        EXPECT_FALSE(Estado.Comunicacion_OK) << rechazo;
    }
}

TEST_F(Modem, InitialisationFailuresEndTheDialUp) {
    Por_Modem();
    Modem_Con({{QStringLiteral("ATE0"), {QStringLiteral("\r\nERROR\r\n")}}});
    Abrir_Puerto();
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_EQ(lineas.size(), 2u) << "no dialling after ERROR, and no message";

    Modem_Con({});
    operador->Espera_Mensaje(QStringLiteral("Invalid Number Port: 2"));
    Abrir_Puerto();
    EXPECT_FALSE(Estado.Comunicacion_OK);
}

TEST_F(Modem, SilentFarEndGivesUpAfterSixtyTicks) {
    timer->Set_Interval(5);
    Por_Modem();
    Modem_Con({{QStringLiteral("ATE0"), {Ok}}, {QStringLiteral("ATDT"), {QStringLiteral("\r\n")}}});
    operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
    Abrir_Puerto();
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_GE(Estado.Segundos, 60);
}

TEST_F(Modem, CommandLineModeReadsResultCodes) {
    Estado.Modo_Linea_Comandos = true;
    Estado.Cadena_Personal_Local = true; // not asked for in command-line mode
    Por_Modem();
    const std::pair<const char *, bool> casos[] = {
        {"22\r\n\r\n", true}, {"\r\nCONNECT 9600\r\n", true}, {"7\r\n\r\n\r\n", false}};
    for (const auto &[respuesta, enlazado] : casos) {
        Modem_Con({{QStringLiteral("ATE0"), {Ok}}, {QStringLiteral("ATDT"), {QLatin1String(respuesta)}}});
        Abrir_Puerto();
        EXPECT_EQ(Estado.Comunicacion_OK, enlazado) << respuesta;
    }
}

TEST_F(Modem, PersonalStringIsOfferedKeptAndShown) {
    Estado.Cadena_Personal_Local = true;
    Estado.Cadena_Modem = QStringLiteral("ATX3");
    Guardar_Cadena_Modem(2);
    Por_Modem();
    Modem_Con({{QStringLiteral("AT&C1"), {Ok}}, {QStringLiteral("ATDT"), {QStringLiteral("\r\nCONNECT\r\n")}}});
    operador->Espera_Entrada(QStringLiteral("Enter the New string initialization"), QStringLiteral(" AT&C1 "));
    operador->Espera_Mensaje(QStringLiteral("La Respuesta del Modem a su cadena Fue: ") + Ok);
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_EQ(operador->defectos_entrada, std::vector<QString>{QStringLiteral("ATX3")});
    EXPECT_EQ(Archivo_AT(), QByteArray(100, ' ') + QByteArray("AT&C1").leftJustified(100, ' '));

    // An empty answer: the default initialisation, and the file keeps its text.
    Modem_Con({{QStringLiteral("ATE0"), {Ok}}, {QStringLiteral("ATDT"), {QStringLiteral("\r\nCONNECT\r\n")}}});
    operador->Espera_Entrada(QStringLiteral("Enter the New string initialization"), QString());
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_EQ(Archivo_AT().mid(100, 5), QByteArray("AT&C1"));
}

TEST_F(Modem, RecordsOfTheAtFile) {
    Leer_Cadena_Modem(2);
    EXPECT_EQ(Estado.Cadena_Modem, QString(100, QLatin1Char(' '))) << "never written: blanks";
    Estado.Cadena_Modem = QString(120, QLatin1Char('x'));
    Guardar_Cadena_Modem(2);
    EXPECT_EQ(Archivo_AT(), QByteArray(100, ' ') + QByteArray(100, 'x')) << "record 1 blank, record 2 cut to 100";
}

TEST_F(Modem, RemoteProgrammingWithTheFixedSequence) {
    Estado.Via_Modem = true;
    Estado.Puerto_Com = 1;
    Estado.Velocidad = 9600;
    Modem_Con({{QStringLiteral("AT&F"), {Ok}}, {QStringLiteral("ATE0 V0 S0=2 &W1 &Y1"), {QStringLiteral("0\r")}}});
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM3"), QString(), Respuesta::OK);
    operador->Espera_Mensaje(QStringLiteral("Modem Has Been Programed"));
    Programa_Modem_Remoto({false, 0, 2, QStringLiteral("COM3")});
    EXPECT_EQ(lineas, (std::vector<QString>{QStringLiteral("AT&F"), QStringLiteral("ATE0 V0 S0=2 &W1 &Y1")}));
    EXPECT_EQ(puerto->CommPort(), 3);
    EXPECT_EQ(puerto->Settings().toStdString(), " 1200,N,8,1");
    EXPECT_EQ(puerto->longitud_lectura, 1);
    EXPECT_FALSE(puerto->dtr.back());
    EXPECT_TRUE(puerto->PortOpen());
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_TRUE(Estado.Via_Modem);
    EXPECT_EQ(Estado.Puerto_Com, 1);
    EXPECT_EQ(Estado.Velocidad, 9600);

    // An error code: no message, the settings back all the same.
    Modem_Con({{QStringLiteral("AT&F"), {Ok}}, {QStringLiteral("ATE0 V0 S0=2 &W1 &Y1"), {QStringLiteral("4\r")}}});
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM3"), QString(), Respuesta::OK);
    Programa_Modem_Remoto({false, 0, 2, QStringLiteral("COM3")});
    EXPECT_EQ(Estado.Puerto_Com, 1);
}

TEST_F(Modem, RemoteProgrammingFailuresAndCancel) {
    Estado.Via_Modem = true;
    Estado.Puerto_Com = 1;
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM2"), QString(), Respuesta::Cancel);
    Programa_Modem_Remoto({false, 3, 1, QStringLiteral("COM2")});
    EXPECT_TRUE(puerto->escrituras.empty());
    EXPECT_TRUE(Estado.Via_Modem);

    Modem_Con({});
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM2"), QString(), Respuesta::OK);
    operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
    Programa_Modem_Remoto({false, 3, 1, QStringLiteral("COM2")});
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_FALSE(Estado.Via_Modem) << "left as a direct line on the programming port";
    EXPECT_EQ(Estado.Puerto_Com, 2);

    // Personal string, empty answer: a lone carriage return, the reply shown.
    Estado.Cadena_Modem = QStringLiteral("AT&K0");
    Guardar_Cadena_Modem(1);
    lineas.clear();
    Modem_Con({{QString(), {Ok}}});
    operador->Espera_Entrada(QStringLiteral("Enter the New string initialization"), QString());
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM2"), QString(), Respuesta::OK);
    operador->Espera_Mensaje(QStringLiteral("La Respuesta del Modem a su cadena Fue: ") + Ok);
    Programa_Modem_Remoto({true, 3, 1, QStringLiteral("COM2")});
    EXPECT_EQ(lineas, std::vector<QString>{QString()});
    EXPECT_EQ(Archivo_AT().left(5), QByteArray("AT&K0"));
}
