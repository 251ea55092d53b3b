// Several relays on one line, and relays behind a serial device server: the
// simulated bus, the scan, polling relays in turn, and the network port.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Temporizador.h"
#include "enlace/Puerto_Sistema.h"
#include "enlace/Puerto_Tcp.h"
#include "protocolo/Crc.h"
#include "protocolo/Exploracion.h"
#include "simulador/Bus_Simulado.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Simulador.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const QStringList Tick_Rapido = {QStringLiteral("KV73_TICK_MS=20")};

Salida_Programa Ctl(const QString &dispositivo, const QStringList &argumentos) {
    return Ejecuta(QStringLiteral(KV73CTL),
                   QStringList{QStringLiteral("--device"), dispositivo} + argumentos, Tick_Rapido);
}

QStringList Lineas(const QString &texto) {
    return texto.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QJsonObject Json(const QString &linea) {
    return QJsonDocument::fromJson(linea.toUtf8()).object();
}

template <typename F> bool Hasta(F condicion, int ms = 5000) {
    QElapsedTimer reloj;
    reloj.start();
    while (!condicion() && reloj.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condicion();
}

// A port on this machine where nobody listens: taken, then let go.
int Puerto_Libre() {
    QTcpServer servidor;
    servidor.listen(QHostAddress::LocalHost, 0);
    return servidor.serverPort();
}

QByteArray Lectura_Identificacion(uint8_t direccion) {
    QByteArray p;
    p.append(static_cast<char>(direccion));
    p.append("\x04\x00\x00\x00\x03", 5);
    Agrega_CRC(p);
    return p;
}

} // namespace

// --- the simulated bus -------------------------------------------------------

TEST(Bus_Simulado, OnlyTheAddressedRelayAnswersAndTwoAtOneAddressCollide) {
    Bus_Simulado bus({1, 5, 17}, {}, 1);
    for (uint8_t d : {1, 5, 17}) {
        const auto trozos = bus.Responde_Por_Partes(Lectura_Identificacion(d));
        ASSERT_EQ(trozos.size(), 1u) << int(d);
        EXPECT_EQ(static_cast<uint8_t>(trozos[0].Bytes[0]), d);
        EXPECT_TRUE(CRC_Valido(trozos[0].Bytes));
    }
    EXPECT_TRUE(bus.Responde_Por_Partes(Lectura_Identificacion(2)).empty());
    EXPECT_NE(bus.Rele(0).Temperatura(1) * 1000 + bus.Rele(0).Temperatura(2),
              bus.Rele(1).Temperatura(1) * 1000 + bus.Rele(1).Temperatura(2))
        << "each relay has registers of its own";

    Bus_Simulado choque({5, 5}, {}, 1);
    const auto trozos = choque.Responde_Por_Partes(Lectura_Identificacion(5));
    ASSERT_EQ(trozos.size(), 1u);
    EXPECT_EQ(trozos[0].Bytes.size(), 11);
    EXPECT_FALSE(CRC_Valido(trozos[0].Bytes));
}

// --- the scan's exchange, on the in-memory port -------------------------------

using Exploracion = Banco;

TEST_F(Exploracion, OneSendAndItsReplyJudged) {
    Enlace_Arriba();
    // A good reply, an exception, a reply cut short, damaged ones, one from
    // another address, silence.
    puerto->al_recibir = [&](const QByteArray &p) {
        const auto con_crc = [](QByteArray r) {
            Agrega_CRC(r);
            return r;
        };
        switch (static_cast<uint8_t>(p[0])) {
        case 1:
            puerto->Inyecta(con_crc(Hex("01 04 06 00 02 00 01 00 73")));
            break;
        case 2:
            puerto->Inyecta(con_crc(Hex("02 84 02")));
            break;
        case 3:
            puerto->Inyecta(Hex("03 04 06 00"));
            break;
        case 4: {
            QByteArray r = con_crc(Hex("04 04 06 00 02 00 01 00 73"));
            r[4] = 0x12;
            puerto->Inyecta(r);
            break;
        }
        case 5: // a whole, sound reply, but from address 6
            puerto->Inyecta(con_crc(Hex("06 04 06 00 02 00 01 00 73")));
            break;
        case 7: { // only the CRC's low byte is wrong
            QByteArray r = con_crc(Hex("07 04 06 00 02 00 01 00 73"));
            r[9] = static_cast<char>(r[9] ^ 0x01);
            puerto->Inyecta(r);
            break;
        }
        default:
            break;
        }
    };
    using Tipo = Respuesta_Exploracion::Tipo;
    const auto buena = Explora_Direccion(*puerto, 1, 50);
    EXPECT_EQ(buena.tipo, Tipo::Rele);
    EXPECT_EQ(buena.registros, (std::array<uint16_t, 3>{2, 1, 0x73}));
    EXPECT_EQ(puerto->Peticiones().back(), Lectura_Identificacion(1)) << "the ident read, once";
    EXPECT_EQ(puerto->escrituras.size(), 1u) << "one send, no resend";

    const auto excepcion = Explora_Direccion(*puerto, 2, 50);
    EXPECT_EQ(excepcion.tipo, Tipo::Excepcion);
    EXPECT_EQ(excepcion.codigo_excepcion, 2);
    const auto corta = Explora_Direccion(*puerto, 3, 50);
    EXPECT_EQ(corta.tipo, Tipo::Mala);
    EXPECT_STREQ(corta.razon, "incomplete reply");
    const auto danada = Explora_Direccion(*puerto, 4, 50);
    EXPECT_EQ(danada.tipo, Tipo::Mala);
    EXPECT_STREQ(danada.razon, "bad CRC");
    // Another relay's reply would list it at the address asked.
    const auto ajena = Explora_Direccion(*puerto, 5, 50);
    EXPECT_EQ(ajena.tipo, Tipo::Mala);
    EXPECT_STREQ(ajena.razon, "not a reply to this read");
    const auto crc_bajo = Explora_Direccion(*puerto, 7, 50);
    EXPECT_EQ(crc_bajo.tipo, Tipo::Mala);
    EXPECT_STREQ(crc_bajo.razon, "bad CRC");
    EXPECT_EQ(Explora_Direccion(*puerto, 9, 50).tipo, Tipo::Silencio);
    EXPECT_EQ(puerto->escrituras.size(), 7u);
    EXPECT_EQ(enlace->Cuentas().Fallos_Enlace, 0u) << "a silent address is no link failure";

    QTimer::singleShot(10, [this] { puerto->Desaparece(); });
    EXPECT_EQ(Explora_Direccion(*puerto, 9, 2000).tipo, Tipo::Perdida);
}

TEST(Exploracion_Espera, TheReplysWireTimeAndAMarginNeverUnder50ms) {
    EXPECT_EQ(Espera_Exploracion_ms(9600), 50);
    // 22.5 characters of 10 bits at 1200 baud: 187.5 ms, then the margin.
    EXPECT_EQ(Espera_Exploracion_ms(1200), 208);
    EXPECT_GT(Espera_Exploracion_ms(2400), Espera_Exploracion_ms(4800));
}

// --- kv73ctl scan ------------------------------------------------------------

TEST(Scan, FindsExactlyTheRelaysOnTheLine) {
    Simulador sim({QStringLiteral("--address"), QStringLiteral("1,5,17")});
    ASSERT_TRUE(sim.Listo());
    const auto texto =
        Ctl(sim.Enlace(), {QStringLiteral("scan"), QStringLiteral("--last"), QStringLiteral("20")});
    EXPECT_EQ(texto.estado, 0) << texto.errores.toStdString();
    EXPECT_EQ(
        Lineas(texto.salida),
        (QStringList{QStringLiteral("address 1: registers 0x0002 0x0001 0x0073: a KV-73 relay"),
                     QStringLiteral("address 5: registers 0x0002 0x0001 0x0073: a KV-73 relay"),
                     QStringLiteral("address 17: registers 0x0002 0x0001 0x0073: a KV-73 relay")}));

    const auto json = Ctl(sim.Enlace(), {QStringLiteral("--json"), QStringLiteral("scan"),
                                         QStringLiteral("--first=4"), QStringLiteral("--last=17"),
                                         QStringLiteral("--timeout-ms"), QStringLiteral("25")});
    EXPECT_EQ(json.estado, 0);
    ASSERT_EQ(Lineas(json.salida).size(), 1) << "one object for the whole scan";
    const QJsonObject o = Json(json.salida);
    const QJsonArray reles = o[QStringLiteral("relays")].toArray();
    ASSERT_EQ(reles.size(), 2);
    EXPECT_EQ(reles[0].toObject(),
              (QJsonObject{{QStringLiteral("address"), 5},
                           {QStringLiteral("registers"), QJsonArray{2, 1, 0x73}},
                           {QStringLiteral("accepted"), true}}));
    EXPECT_EQ(reles[1].toObject()[QStringLiteral("address")].toInt(), 17);
    EXPECT_EQ(o[QStringLiteral("bad_replies")].toArray().size(), 0);

    // A device that is not a KV-73 is listed, and said to be none.
    Simulador otro({QStringLiteral("--address"), QStringLiteral("3"), QStringLiteral("--ident3"),
                    QStringLiteral("0x55")});
    const auto ajeno = Ctl(otro.Enlace(), {QStringLiteral("--json"), QStringLiteral("scan"),
                                           QStringLiteral("--last"), QStringLiteral("3")});
    EXPECT_EQ(ajeno.estado, 0);
    EXPECT_EQ(Json(ajeno.salida)[QStringLiteral("relays")]
                  .toArray()[0]
                  .toObject()[QStringLiteral("registers")]
                  .toArray(),
              (QJsonArray{2, 1, 0x55}));
}

TEST(Scan, NoneAnsweringIsStatus2AndCollidingRelaysAreBadReplies) {
    Simulador sim({QStringLiteral("--address"), QStringLiteral("1,5,5")});
    ASSERT_TRUE(sim.Listo());
    const auto nadie =
        Ctl(sim.Enlace(), {QStringLiteral("scan"), QStringLiteral("--first"), QStringLiteral("2"),
                           QStringLiteral("--last"), QStringLiteral("4")});
    EXPECT_EQ(nadie.estado, 2);
    EXPECT_TRUE(nadie.salida.isEmpty());
    EXPECT_EQ(nadie.errores.toStdString(), "kv73ctl: no relay answered from address 2 to 4\n");

    const auto choque =
        Ctl(sim.Enlace(), {QStringLiteral("scan"), QStringLiteral("--first"), QStringLiteral("4"),
                           QStringLiteral("--last"), QStringLiteral("6")});
    EXPECT_EQ(choque.estado, 3) << "only a bad reply came";
    const QStringList lineas = Lineas(choque.salida);
    ASSERT_EQ(lineas.size(), 1);
    EXPECT_TRUE(lineas[0].startsWith(QStringLiteral("address 5: bad reply (bad CRC): 05 ")))
        << lineas[0].toStdString();

    const auto json = Ctl(sim.Enlace(), {QStringLiteral("--json"), QStringLiteral("scan"),
                                         QStringLiteral("--last"), QStringLiteral("6")});
    EXPECT_EQ(json.estado, 0) << "relay 1 answered";
    const QJsonObject o = Json(json.salida);
    EXPECT_EQ(o[QStringLiteral("relays")].toArray().size(), 1);
    const QJsonArray malas = o[QStringLiteral("bad_replies")].toArray();
    ASSERT_EQ(malas.size(), 1);
    EXPECT_EQ(malas[0].toObject()[QStringLiteral("address")].toInt(), 5);
    EXPECT_EQ(malas[0].toObject()[QStringLiteral("reason")].toString(), QStringLiteral("bad CRC"));
}

TEST(Scan, AndAddressListsRefusedWhereTheyDoNotBelong) {
    const QString ctl = QStringLiteral(KV73CTL);
    const QList<QStringList> malas = {
        {QStringLiteral("scan"), QStringLiteral("--address"), QStringLiteral("3")},
        {QStringLiteral("scan"), QStringLiteral("--first"), QStringLiteral("9"),
         QStringLiteral("--last"), QStringLiteral("8")},
        {QStringLiteral("scan"), QStringLiteral("--last"), QStringLiteral("255")},
        {QStringLiteral("scan"), QStringLiteral("--timeout-ms"), QStringLiteral("0")},
        {QStringLiteral("values"), QStringLiteral("--first"), QStringLiteral("2")},
        {QStringLiteral("ident"), QStringLiteral("--address"), QStringLiteral("1,5")},
        {QStringLiteral("set"), QStringLiteral("L1=50"), QStringLiteral("--address=1,5")},
        {QStringLiteral("values"), QStringLiteral("--address"), QStringLiteral("1,1")},
        {QStringLiteral("values"), QStringLiteral("--address"), QStringLiteral("1,,5")},
        {QStringLiteral("watch"), QStringLiteral("--address"), QStringLiteral("1,255")},
    };
    for (const QStringList &a : malas) {
        const auto r = Ejecuta(
            ctl, QStringList{QStringLiteral("--device"), QStringLiteral("/nonexistent/tty")} + a);
        EXPECT_EQ(r.estado, 1) << a.join(' ').toStdString();
        EXPECT_TRUE(r.errores.contains(QStringLiteral("usage:"))) << a.join(' ').toStdString();
    }
    const auto ident =
        Ejecuta(ctl, {QStringLiteral("ident"), QStringLiteral("--address"), QStringLiteral("1,5")});
    EXPECT_TRUE(ident.errores.startsWith(
        QStringLiteral("kv73ctl: ident speaks to one relay: give one --address")));
}

// --- values and watch on several relays --------------------------------------

TEST(Varios_Reles, OneMissingRelayDoesNotStopTheOthers) {
    Simulador sim({QStringLiteral("--address"), QStringLiteral("1,5,17")});
    ASSERT_TRUE(sim.Listo());
    const auto valores = Ctl(sim.Enlace(), {QStringLiteral("--address"), QStringLiteral("1,3,17"),
                                            QStringLiteral("values")});
    EXPECT_EQ(valores.estado, 2) << "a relay failed to answer";
    const QStringList lineas = Lineas(valores.salida);
    ASSERT_EQ(lineas.size(), 2) << valores.errores.toStdString();
    EXPECT_TRUE(lineas[0].startsWith(QStringLiteral("address 1: Pt1 ")));
    EXPECT_TRUE(lineas[1].startsWith(QStringLiteral("address 17: Pt1 ")));
    EXPECT_EQ(valores.errores.toStdString(),
              "Relay Not Response\nkv73ctl: no reply from address 3\n");

    const auto vigila = Ctl(sim.Enlace(), {QStringLiteral("--json"), QStringLiteral("--address"),
                                           QStringLiteral("5,3,1"), QStringLiteral("watch"),
                                           QStringLiteral("--count"), QStringLiteral("3"),
                                           QStringLiteral("--interval"), QStringLiteral("10")});
    EXPECT_EQ(vigila.estado, 2);
    // The silent relay is an object of its own in each round, without values.
    QList<int> direcciones;
    for (const QString &l : Lineas(vigila.salida)) {
        const QJsonObject o = Json(l);
        direcciones << o[QStringLiteral("address")].toInt();
        EXPECT_TRUE(o.contains(QStringLiteral("latency_us")));
        const bool callado = o[QStringLiteral("address")].toInt() == 3;
        EXPECT_EQ(o[QStringLiteral("status")].toString(),
                  callado ? QStringLiteral("no reply") : QStringLiteral("ok"));
        EXPECT_EQ(o[QStringLiteral("temperatures")].toArray().size(), callado ? 0 : 4);
    }
    EXPECT_EQ(direcciones, (QList<int>{5, 3, 1, 5, 3, 1, 5, 3, 1}));
    EXPECT_EQ(vigila.errores.count(QStringLiteral("no reply from address 3")), 3);

    const auto todos = Ctl(sim.Enlace(), {QStringLiteral("--address"), QStringLiteral("17,5"),
                                          QStringLiteral("watch"), QStringLiteral("--count"),
                                          QStringLiteral("2")});
    EXPECT_EQ(todos.estado, 0) << "every relay answered every poll";
    EXPECT_EQ(Lineas(todos.salida).size(), 4);
    // One address prints as it always has: no address in the line.
    const auto uno = Ctl(
        sim.Enlace(), {QStringLiteral("--address"), QStringLiteral("5"), QStringLiteral("values")});
    EXPECT_EQ(uno.estado, 0);
    EXPECT_TRUE(uno.salida.startsWith(QStringLiteral("Pt1 ")));
}

// Behind a modem, the silent relay's link failure hangs the call up: the next
// relay is reached by dialling again, not by talking to a modem on hook.
TEST(Varios_Reles, ACallHungUpBySilentRelayIsDialledAgain) {
    Simulador sim(
        {QStringLiteral("--modem"), QStringLiteral("--dial-delay"), QStringLiteral("20")});
    ASSERT_TRUE(sim.Listo());
    const auto r = Ctl(sim.Enlace(), {QStringLiteral("--trace"), QStringLiteral("--modem"),
                                      QStringLiteral("5551234"), QStringLiteral("--address"),
                                      QStringLiteral("7,1"), QStringLiteral("values")});
    EXPECT_EQ(r.estado, 2) << "relay 7 failed to answer";
    const QStringList lineas = Lineas(r.salida);
    ASSERT_EQ(lineas.size(), 1) << r.errores.toStdString();
    EXPECT_TRUE(lineas[0].startsWith(QStringLiteral("address 1: Pt1 ")));
    EXPECT_EQ(r.errores.count(QStringLiteral("ATDT5551234")), 2) << r.errores.toStdString();
}

TEST(Varios_Reles, BadRepliesGiveStatus3AndAVanishedLineEndsTheWatch) {
    Simulador sim({QStringLiteral("--address"), QStringLiteral("1,2"),
                   QStringLiteral("--bad-crc-every"), QStringLiteral("2")});
    ASSERT_TRUE(sim.Listo());
    const auto r = Ctl(sim.Enlace(),
                       {QStringLiteral("--address"), QStringLiteral("1,2"), QStringLiteral("watch"),
                        QStringLiteral("--count"), QStringLiteral("2")});
    EXPECT_EQ(r.estado, 3);
    EXPECT_EQ(Lineas(r.salida).size(), 2);
    EXPECT_EQ(r.errores.count(QStringLiteral("bad reply to the actual-values poll of address")), 2);

    Simulador ido({QStringLiteral("--address"), QStringLiteral("1,2")});
    QProcess ctl;
    auto entorno = QProcessEnvironment::systemEnvironment();
    entorno.insert(QStringLiteral("KV73_TICK_MS"), QStringLiteral("20"));
    ctl.setProcessEnvironment(entorno);
    ctl.start(QStringLiteral(KV73CTL),
              {QStringLiteral("--device"), ido.Enlace(), QStringLiteral("--address"),
               QStringLiteral("1,2"), QStringLiteral("watch"), QStringLiteral("--interval"),
               QStringLiteral("50")});
    ASSERT_TRUE(ctl.waitForReadyRead(5000));
    ido.Detiene();
    ASSERT_TRUE(ctl.waitForFinished(10000)) << "the watch ends once the line is gone";
    EXPECT_EQ(ctl.exitCode(), 2);
    EXPECT_TRUE(ctl.readAllStandardError().contains("Relay Not Response"));
}

// --- the network port --------------------------------------------------------

TEST(Tcp, DeviceNamesOfTheNetworkForm) {
    EXPECT_TRUE(Es_Dispositivo_Tcp(QStringLiteral("tcp://10.0.0.7:4001")));
    EXPECT_TRUE(Es_Dispositivo_Tcp(QStringLiteral("TCP://host:1")));
    EXPECT_FALSE(Es_Dispositivo_Tcp(QStringLiteral("/dev/ttyUSB0")));
    const auto d = Analiza_Dispositivo_Tcp(QStringLiteral("tcp://[::1]:502"), nullptr);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->servidor, QStringLiteral("::1"));
    EXPECT_EQ(d->puerto, 502);
    for (const char *malo :
         {"tcp://", "tcp://host", "tcp://host:0", "tcp://host:70000", "tcp://:502",
          "tcp://host:502/x", "tcp://u@host:502", "tcp://host:x"}) {
        QString error;
        EXPECT_FALSE(Analiza_Dispositivo_Tcp(QLatin1String(malo), &error)) << malo;
        EXPECT_TRUE(error.contains(QStringLiteral("give tcp://HOST:PORT"))) << malo;
    }
}

TEST(Tcp, TheProductionPortPicksTheNetworkByNameAndLosesItAsADevice) {
    Simulador sim({QStringLiteral("--tcp"), QStringLiteral("0")});
    ASSERT_TRUE(sim.Listo());
    ASSERT_GT(sim.Puerto_Tcp(), 0);
    Puerto_Sistema puerto;
    puerto.Set_CommPort(9);
    ASSERT_TRUE(puerto.Set_Settings(QStringLiteral("1200,E,8,1")));

    qputenv("KV73_COM9", sim.Enlace().toLocal8Bit());
    ASSERT_TRUE(puerto.Set_PortOpen(true)) << puerto.Error_Texto().toStdString();
    EXPECT_FALSE(puerto.En_Red());
    puerto.Set_PortOpen(false);

    qputenv("KV73_COM9", sim.Dispositivo_Tcp().toLocal8Bit());
    ASSERT_TRUE(puerto.Set_PortOpen(true)) << puerto.Error_Texto().toStdString();
    EXPECT_TRUE(puerto.En_Red());
    EXPECT_EQ(puerto.Settings(), QStringLiteral("1200,E,8,1")) << "kept, though nothing sets them";
    puerto.Set_DTREnable(false);
    // A request written a byte at a time, as the exchange writes it.
    for (char b : Lectura_Identificacion(1))
        puerto.Output(QByteArray(1, b));
    ASSERT_TRUE(Hasta([&] { return puerto.InBufferCount() >= 11; }));
    const QByteArray respuesta = puerto.Input();
    EXPECT_EQ(respuesta.left(9), Hex("01 04 06 00 02 00 01 00 73"));

    QSignalSpy aviso(&puerto, &Puerto_Serie::Llegan_Datos);
    sim.Detiene();
    ASSERT_TRUE(Hasta([&] { return !puerto.PortOpen(); }));
    EXPECT_TRUE(puerto.Perdido());
    EXPECT_GE(aviso.count(), 1) << "whoever waits is woken";
    EXPECT_FALSE(puerto.Set_PortOpen(true));
    EXPECT_TRUE(puerto.Error_Texto().startsWith(
        QStringLiteral("cannot connect to 127.0.0.1:%1: connection refused").arg(sim.Puerto_Tcp())))
        << puerto.Error_Texto().toStdString();
    EXPECT_FALSE(puerto.Perdido()) << "a new opening clears it";

    qputenv("KV73_COM9", "tcp://127.0.0.1");
    EXPECT_FALSE(puerto.Set_PortOpen(true));
    EXPECT_EQ(puerto.Error_Texto().toStdString(),
              "tcp://127.0.0.1 is not a network device: give tcp://HOST:PORT, PORT from 1 to "
              "65535");
    qunsetenv("KV73_COM9");
}

TEST(Tcp, Kv73ctlReadsOverTheNetworkAndEndsWhenTheServerGoes) {
    Simulador sim({QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--address"),
                   QStringLiteral("1,5")});
    ASSERT_TRUE(sim.Listo());
    const auto valores =
        Ctl(sim.Dispositivo_Tcp(), {QStringLiteral("--json"), QStringLiteral("values")});
    EXPECT_EQ(valores.estado, 0) << valores.errores.toStdString();
    EXPECT_EQ(Json(valores.salida)[QStringLiteral("temperatures")].toArray().size(), 4);
    const auto exploracion =
        Ctl(sim.Dispositivo_Tcp(),
            {QStringLiteral("scan"), QStringLiteral("--last"), QStringLiteral("6")});
    EXPECT_EQ(Lineas(exploracion.salida).size(), 2);
    // KV73_COMn reaches the network as --device does.
    const auto por_numero =
        Ejecuta(QStringLiteral(KV73CTL),
                {QStringLiteral("--port"), QStringLiteral("4"), QStringLiteral("ident")},
                {QStringLiteral("KV73_COM4=") + sim.Dispositivo_Tcp()});
    EXPECT_EQ(por_numero.estado, 0) << por_numero.errores.toStdString();

    QProcess ctl;
    ctl.start(QStringLiteral(KV73CTL),
              {QStringLiteral("--device"), sim.Dispositivo_Tcp(), QStringLiteral("watch"),
               QStringLiteral("--interval"), QStringLiteral("50")});
    ASSERT_TRUE(ctl.waitForReadyRead(5000));
    sim.Detiene();
    ASSERT_TRUE(ctl.waitForFinished(10000)) << "the link-failure path ends the watch";
    EXPECT_EQ(ctl.exitCode(), 2);
    EXPECT_EQ(ctl.readAllStandardError().toStdString(), "Relay Not Response\n");

    const int libre = Puerto_Libre();
    const auto rechazo =
        Ctl(QStringLiteral("tcp://127.0.0.1:%1").arg(libre), {QStringLiteral("values")});
    EXPECT_EQ(rechazo.estado, 2);
    EXPECT_EQ(rechazo.errores.toStdString(),
              QStringLiteral("kv73ctl: cannot open tcp://127.0.0.1:%1: cannot connect to "
                             "127.0.0.1:%1: connection refused\n")
                  .arg(libre)
                  .toStdString());
}

TEST(Tcp, PortsShowsANetworkDeviceAsNoFile) {
    QTemporaryDir ajustes;
    const auto r =
        Ejecuta(QStringLiteral(KV73CTL), {QStringLiteral("--json"), QStringLiteral("ports")},
                {QStringLiteral("KV73_COM3=tcp://192.0.2.1:4001"),
                 QStringLiteral("XDG_CONFIG_HOME=") + ajustes.path()});
    EXPECT_EQ(r.estado, 0);
    const QJsonArray puertos = Json(r.salida)[QStringLiteral("ports")].toArray();
    QJsonObject red;
    for (const auto &p : puertos)
        if (p.toObject()[QStringLiteral("device")] == QStringLiteral("tcp://192.0.2.1:4001"))
            red = p.toObject();
    EXPECT_EQ(red[QStringLiteral("network")].toBool(), true);
    EXPECT_EQ(red[QStringLiteral("access")].toBool(), true);
    EXPECT_EQ(red[QStringLiteral("com")].toArray(), QJsonArray{3});
    const auto texto = Ejecuta(QStringLiteral(KV73CTL), {QStringLiteral("ports")},
                               {QStringLiteral("KV73_COM3=tcp://192.0.2.1:4001"),
                                QStringLiteral("XDG_CONFIG_HOME=") + ajustes.path()});
    const QStringList lineas = Lineas(texto.salida);
    const auto fila = std::find_if(lineas.begin(), lineas.end(), [](const QString &l) {
        return l.startsWith(QStringLiteral("tcp://192.0.2.1:4001"));
    });
    ASSERT_NE(fila, lineas.end());
    EXPECT_TRUE(fila->contains(QStringLiteral("network")));
    EXPECT_TRUE(fila->endsWith(QStringLiteral("COM3")));
    EXPECT_TRUE(lineas.contains(QStringLiteral("COM3: tcp://192.0.2.1:4001 (KV73_COM3)")));
}

// --- the desktop program -------------------------------------------------------

TEST(Tcp, TheDesktopProgramStartedOnANetworkPortComesUpLinked) {
    Simulador sim({QStringLiteral("--tcp"), QStringLiteral("0")});
    ASSERT_TRUE(sim.Listo());
    Programa_Lanzado kv73(QStringLiteral(KV73_PROGRAMA), sim.Dispositivo_Tcp(),
                          {QStringLiteral("9600,N,8,1"), QStringLiteral("2"), QStringLiteral("1")});
    ASSERT_TRUE(kv73.Arrancado());
    QString visto;
    const QByteArray leido = kv73.Espera_Pagina(15000, [&] {
        visto += sim.Salida();
        return visto.contains(QStringLiteral("connected"));
    });
    EXPECT_EQ(leido, QByteArray("\x01\x00", 2)) << "the page came up";
    EXPECT_TRUE(visto.contains(QStringLiteral("kv73-sim: client 127.0.0.1:")))
        << "it reached the relay over TCP";
    EXPECT_EQ(kv73.Proceso().state(), QProcess::Running)
        << kv73.Proceso().readAllStandardError().toStdString();
}

TEST(Simulador_Bus, RefusesAddressListsAndPortsItCannotServe) {
    const QString sim = QStringLiteral(KV73_SIM);
    const QList<QStringList> malas = {
        {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--address"),
         QStringLiteral("1,255")},
        {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--address"),
         QStringLiteral("1,")},
        {QStringLiteral("--tcp"), QStringLiteral("65536")},
        {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--modem")},
        {QStringLiteral("--link"), QStringLiteral("/tmp/never-made"), QStringLiteral("--modem"),
         QStringLiteral("--address"), QStringLiteral("1,2")},
    };
    for (const QStringList &a : malas) {
        const auto r = Ejecuta(sim, a, {}, 5000);
        EXPECT_EQ(r.estado, 1) << a.join(' ').toStdString();
        EXPECT_TRUE(r.errores.startsWith(QStringLiteral("kv73-sim: ")))
            << a.join(' ').toStdString();
    }
}
