// Opening the port, the modem dial-up, the file "AT" and the remote modem
// programming, with a scripted modem on the in-memory port.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Temporizador.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Cadena_Modem.h"
#include "enlace/Programacion_Modem.h"
#include "protocolo/Lectura_Escritura.h"
#include "tests/soporte/Banco.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <map>
#include <memory>

namespace {

const QString Ok = QStringLiteral("\r\nOK\r\n");

// A modem that answers each line (up to its CR) from a table; lines it does not
// know get no answer. Answers may arrive in pieces. The program runs in a
// folder of its own, where it keeps the file "AT".
class Modem : public Banco {
  protected:
    void SetUp() override {
        Banco::SetUp();
        anterior = QDir::currentPath();
        QDir::setCurrent(carpeta.path());
        puerto->al_escribir = [this](const QByteArray &bytes) {
            linea += QString::fromLatin1(bytes);
            for (qsizetype fin; (fin = linea.indexOf(QLatin1Char('\r'))) >= 0;
                 linea.remove(0, fin + 1)) {
                lineas.push_back(linea.left(fin));
                const bool marcado = lineas.back().startsWith(QLatin1String("ATDT"));
                int retardo = 0;
                for (const QString &trozo :
                     respuestas[marcado ? QStringLiteral("ATDT") : lineas.back()]) {
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
    // A modem line to 5551234; the modem takes the default initialisation and
    // answers the dial with `conexion`.
    void Marca(std::vector<QString> conexion) {
        Estado.Via_Modem = true;
        Estado.Telefono = QStringLiteral("5551234").leftJustified(20);
        respuestas = {{QStringLiteral("ATE0"), {Ok}},
                      {QStringLiteral("ATDT"), std::move(conexion)}};
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

TEST_F(Modem, DialUpSendsItsLinesAndAcceptsTheConnectTexts) {
    // The thresholds as a programmed remote modem leaves them: the dial puts them to 0.
    puerto->Set_RThreshold(1);
    puerto->Set_SThreshold(1);
    Marca({QStringLiteral("\r\nCONNECT 2400\r\n")});
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_EQ(std::pair(puerto->RThreshold(), puerto->SThreshold()), std::pair(0, 0));
    EXPECT_EQ(lineas, (std::vector<QString>{QString(), QStringLiteral("ATE0"),
                                            QStringLiteral("ATDT5551234             ")}));
    EXPECT_EQ(puerto->dtr, std::vector<bool>{true});

    // A connect reply that arrives in two pieces is read whole.
    Marca({QStringLiteral("\r\nCONN"), QStringLiteral("ECT 9600\r\n")});
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    // The far modem may connect at any of the four speeds, or not say which.
    for (const char *texto : {"CONNECT", "CONNECT 1200", "CONNECT 4800"}) {
        Marca({QStringLiteral("\r\n%1\r\n").arg(QLatin1String(texto))});
        Abrir_Puerto();
        EXPECT_TRUE(Estado.Comunicacion_OK) << texto;
    }

    for (const char *rechazo : {"\r\nCONNECT 19200\r\n", "\r\nBUSY\r\n"}) {
        Marca({QLatin1String(rechazo)});
        operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
        Abrir_Puerto();
        EXPECT_FALSE(Estado.Comunicacion_OK) << rechazo;
    }

    // The port is still open: a new number and speed reach the line only
    // because the port is closed and opened again with them.
    ASSERT_TRUE(puerto->PortOpen());
    Estado.Via_Modem = false;
    Estado.Puerto_Com = 3;
    Estado.Velocidad = 2400;
    Abrir_Puerto();
    EXPECT_EQ(puerto->puerto_abierto, 3);
    EXPECT_EQ(puerto->settings_abiertos.toStdString(), " 2400,N,8,1");
}

TEST_F(Modem, ErrorNoReplyASilentFarEndOrAMissingPortEndTheOpening) {
    Marca({});
    respuestas[QStringLiteral("ATE0")] = {QStringLiteral("\r\nERROR\r\n")};
    Abrir_Puerto();
    EXPECT_EQ(lineas.size(), 2u) << "no dialling after ERROR, and no message";

    respuestas.clear();
    // The port opened: the modem's silence has no reason to add.
    operador->Espera_Mensaje(QStringLiteral("Invalid Number Port: 2"));
    Abrir_Puerto();

    // Connected to nothing: the dial gives up at its sixtieth tick. A connect
    // text that comes with the fifty-ninth tick is taken; one that comes just
    // after the sixtieth is too late.
    timer->Set_Interval(6);
    const auto modem = puerto->al_escribir;
    for (const int tick : {59, 60}) {
        SCOPED_TRACE(testing::Message() << "connect text at tick " << tick);
        Marca({});
        QObject alcance;
        int ticks = -1; // counted from the dial
        puerto->al_escribir = [&](const QByteArray &bytes) {
            modem(bytes);
            if (bytes.startsWith("ATDT"))
                ticks = 0;
        };
        QObject::connect(timer.get(), &Temporizador_Comunicacion::Tick, &alcance, [&] {
            if (ticks < 0 || ++ticks != tick)
                return;
            const auto conecta = [this] { puerto->Inyecta("\r\nCONNECT 9600\r\n"); };
            if (tick == 59)
                conecta();
            else
                Despues(2, conecta, &alcance);
        });
        if (tick == 60)
            operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
        Abrir_Puerto();
        EXPECT_EQ(Estado.Comunicacion_OK, tick == 59);
    }
    puerto->al_escribir = modem;

    // A port that is not there: the message, and the link flag as it was.
    Estado.Via_Modem = false;
    Estado.Comunicacion_OK = true;
    puerto->existe = false;
    operador->Espera_Mensaje(QStringLiteral("Invalid Number Port: 2\nNo such file"));
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
}

TEST_F(Modem, WhatCameInBeforeTheInitialisationIsNotTakenForItsReply) {
    // A modem with its echo on sends back the lone return that wakes it, and
    // that return is waiting when "ATE0" goes out: ahead of the "OK" it would
    // spoil the check, and the number would never be dialled.
    Marca({QStringLiteral("\r\nCONNECT 9600\r\n")});
    puerto->al_escribir = [this, modem = puerto->al_escribir](const QByteArray &bytes) {
        if (bytes == "\r")
            puerto->Inyecta(bytes);
        modem(bytes);
    };
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    ASSERT_EQ(lineas.size(), 3u);
    EXPECT_TRUE(lineas[2].startsWith(QLatin1String("ATDT")));
}

TEST_F(Modem, CommandLineModeReadsResultCodes) {
    Estado.Modo_Linea_Comandos = true;
    Estado.Cadena_Personal_Local = true; // not asked for in command-line mode
    const std::pair<const char *, bool> casos[] = {
        {"22\r\n\r\n", true},
        {"\r\nCONNECT 9600\r\n", true},
        {"7\r\n\r\n\r\n", false},
        // One-digit codes, bare or framed, are whole once their CR is in.
        {"1\r", true},
        {"\r\n1\r\n", true},
        {"3\r", false}};
    for (const auto &[respuesta, enlazado] : casos) {
        Marca({QLatin1String(respuesta)});
        Abrir_Puerto();
        EXPECT_EQ(Estado.Comunicacion_OK, enlazado) << respuesta;
        EXPECT_LT(Estado.Segundos, 5) << respuesta << ": the dial waited on";
    }
    // A modem in verbal mode that could not get through says so in words, which
    // must not pass for result code 0: a failed dial, and the operator is told.
    for (const char *palabras : {"BUSY", "NO CARRIER", "NO DIALTONE", "NO ANSWER", "ERROR"}) {
        Marca({QStringLiteral("\r\n%1\r\n").arg(QLatin1String(palabras))});
        operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
        Abrir_Puerto();
        EXPECT_FALSE(Estado.Comunicacion_OK) << palabras;
    }
}

TEST_F(Modem, DialWaitsKeepCountingWhateverRunsInsideThemAndEndWhenThePortCloses) {
    // A wait that stopped counting is let go after a while, and the test fails
    // instead of hanging. The timers of each step die with it.
    auto alcance = std::make_unique<QObject>();
    const auto vigia = [this, &alcance](const char *que) {
        alcance = std::make_unique<QObject>();
        Despues(
            3000,
            [this, que] {
                ADD_FAILURE() << que << ": the wait stopped counting";
                Estado.Segundos = 60;
                timer->Set_Enabled(true);
            },
            alcance.get());
    };
    // The page's setpoint re-read fires inside the dial wait: it keeps off the
    // line, so the modem's reply is not drained and no relay frame reaches it.
    Marca({});
    vigia("read in the dial");
    Despues(
        2 * Tick_ms, [this] { Lee_Setpoints(1); }, alcance.get());
    Despues(
        3 * Tick_ms, [this] { puerto->Inyecta("\r\nCONNECT 9600\r\n"); }, alcance.get());
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_EQ(puerto->Todo_Lo_Escrito(), QByteArray("\rATE0\rATDT5551234             \r"));
    EXPECT_FALSE(Estado.Ocupado) << "the busy flag given back";

    // An exchange that ends inside the wait stops the tick: the dial still
    // times out at its sixtieth tick.
    timer->Set_Interval(5);
    Marca({});
    vigia("dial");
    Despues(
        20, [this] { timer->Set_Enabled(false); }, alcance.get());
    operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
    Abrir_Puerto();
    EXPECT_GE(Estado.Segundos, 60);

    // The adapter pulled out during the dial: the wait ends there.
    timer->Set_Interval(Tick_ms);
    Marca({});
    vigia("unplugged in the dial");
    Despues(
        2 * Tick_ms, [this] { puerto->Desaparece(); }, alcance.get());
    operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
    Abrir_Puerto();
    EXPECT_LT(Estado.Segundos, 10);
    EXPECT_FALSE(Estado.Comunicacion_OK);

    // Remote programming: the same with the tick stopped in the AT&F wait, and
    // with the port gone in the set-up line's wait.
    timer->Set_Interval(5);
    respuestas.clear();
    vigia("AT&F");
    Despues(
        3, [this] { timer->Set_Enabled(false); }, alcance.get());
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM2"), QString(),
                             Respuesta::OK);
    operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
    Programa_Modem_Remoto(*enlace, {false, 3, 1, QStringLiteral("COM2")});
    timer->Set_Interval(Tick_ms);
    respuestas = {{QStringLiteral("AT&F"), {Ok}}};
    vigia("unplugged in the set-up line");
    puerto->al_escribir = [this, &alcance, escribe = puerto->al_escribir](const QByteArray &bytes) {
        escribe(bytes);
        if (bytes.startsWith("ATE0 V0"))
            Despues(
                Tick_ms / 2, [this] { puerto->Desaparece(); }, alcance.get());
    };
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM2"), QString(),
                             Respuesta::OK);
    operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
    Programa_Modem_Remoto(*enlace, {false, 3, 1, QStringLiteral("COM2")});
    EXPECT_FALSE(Estado.Comunicacion_OK);
}

TEST_F(Modem, PersonalStringIsOfferedAndKeptInTheAtFile) {
    Estado.Cadena_Personal_Local = true;
    Estado.Cadena_Modem = QStringLiteral("ATX3");
    Guardar_Cadena_Modem(2);
    Marca({QStringLiteral("\r\nCONNECT\r\n")});
    respuestas[QStringLiteral("AT&C1")] = {Ok};
    operador->Espera_Entrada(QStringLiteral("Enter the New string initialization"),
                             QStringLiteral(" AT&C1 "));
    operador->Espera_Mensaje(QStringLiteral("La Respuesta del Modem a su cadena Fue: ") + Ok);
    Abrir_Puerto();
    EXPECT_EQ(operador->defectos_entrada, std::vector<QString>{QStringLiteral("ATX3")});
    EXPECT_EQ(Archivo_AT(), QByteArray(100, ' ') + QByteArray("AT&C1").leftJustified(100, ' '))
        << "record 1 never written, record 2 the string";

    // An empty answer: the default initialisation, and the file keeps its text.
    operador->Espera_Entrada(QStringLiteral("Enter the New string initialization"), QString());
    Abrir_Puerto();
    EXPECT_EQ(Archivo_AT().mid(100, 5), QByteArray("AT&C1"));
    // A string longer than a record is cut to it.
    Estado.Cadena_Modem = QString(120, QLatin1Char('x'));
    Guardar_Cadena_Modem(2);
    EXPECT_EQ(Archivo_AT(), QByteArray(100, ' ') + QByteArray(100, 'x'));
}

TEST_F(Modem, RemoteProgrammingWithTheFixedSequence) {
    Estado.Via_Modem = true;
    Estado.Puerto_Com = 1;
    respuestas = {{QStringLiteral("AT&F"), {Ok}},
                  {QStringLiteral("ATE0 V0 S0=2 &W1 &Y1"), {QStringLiteral("0\r")}}};
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM3"), QString(),
                             Respuesta::OK);
    operador->Espera_Mensaje(QStringLiteral("Modem Has Been Programed"));
    Programa_Modem_Remoto(*enlace, {false, 0, 2, QStringLiteral("COM3")});
    EXPECT_EQ(lineas, (std::vector<QString>{QStringLiteral("AT&F"),
                                            QStringLiteral("ATE0 V0 S0=2 &W1 &Y1")}));
    EXPECT_EQ(puerto->CommPort(), 3);
    EXPECT_EQ(puerto->Settings().toStdString(), " 1200,N,8,1");
    EXPECT_EQ(Estado.Puerto_Com, 1) << "the link's own port back";
    EXPECT_EQ(Estado.Velocidad, 9600) << "and its speed";
    EXPECT_TRUE(Estado.Via_Modem) << "and its link type";
    EXPECT_EQ(puerto->dtr, (std::vector<bool>{true, false}))
        << "DTR up while the modem is set up, down again when it is done";
    EXPECT_EQ(std::pair(puerto->RThreshold(), puerto->SThreshold()), std::pair(1, 1));

    // The set-up line answered 4 (error): the modem is not programmed, and
    // nobody is told it is.
    respuestas[QStringLiteral("ATE0 V0 S0=2 &W1 &Y1")] = {QStringLiteral("4\r")};
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM3"), QString(),
                             Respuesta::OK);
    Programa_Modem_Remoto(*enlace, {false, 0, 2, QStringLiteral("COM3")});
}

TEST_F(Modem, RemoteProgrammingFailuresAndCancel) {
    Estado.Via_Modem = true;
    Estado.Puerto_Com = 1;
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM2"), QString(),
                             Respuesta::Cancel);
    Programa_Modem_Remoto(*enlace, {false, 3, 1, QStringLiteral("COM2")});
    EXPECT_TRUE(Estado.Via_Modem);

    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM2"), QString(),
                             Respuesta::OK);
    operador->Espera_Mensaje(QStringLiteral("Modem Not Response"));
    Programa_Modem_Remoto(*enlace, {false, 3, 1, QStringLiteral("COM2")});
    EXPECT_FALSE(Estado.Via_Modem) << "left as a direct line on the programming port";

    // Personal string, empty answer: a lone carriage return, the reply shown.
    Estado.Cadena_Modem = QStringLiteral("AT&K0");
    Guardar_Cadena_Modem(1);
    lineas.clear();
    respuestas = {{QString(), {Ok}}};
    operador->Espera_Entrada(QStringLiteral("Enter the New string initialization"), QString());
    operador->Espera_Mensaje(QStringLiteral("Please Connect the Modem to COM2"), QString(),
                             Respuesta::OK);
    operador->Espera_Mensaje(QStringLiteral("La Respuesta del Modem a su cadena Fue: ") + Ok);
    puerto->dtr.clear();
    Programa_Modem_Remoto(*enlace, {true, 3, 1, QStringLiteral("COM2")});
    EXPECT_EQ(lineas, std::vector<QString>{QString()});
    EXPECT_EQ(puerto->dtr, (std::vector<bool>{true, false}));
    EXPECT_EQ(Archivo_AT().left(5), QByteArray("AT&K0"));
}
