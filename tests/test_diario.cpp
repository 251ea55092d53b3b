// The event journal: the file made on first use with its version in WAL mode,
// two programs writing at once, a journal that cannot be written (a folder
// that cannot be made or written, a damaged file, a newer journal, a full
// disk) said once, the filter, and the watch that turns polls into events.

#include "diario/Diario_Eventos.h"
#include "diario/Vigia_Rele.h"
#include "tests/soporte/Disco.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <unistd.h>

namespace {

Evento Ejemplo(int direccion, const QString &tipo, const QDateTime &hora) {
    Evento evento;
    evento.hora = hora;
    evento.dispositivo = QStringLiteral("/dev/ttyUSB0");
    evento.direccion = direccion;
    evento.tipo = tipo;
    evento.que = QStringLiteral("set");
    evento.antes = QStringLiteral("[90,100,110,120,5,1]");
    evento.despues = QStringLiteral("[95,100,110,120,5,1]");
    evento.fuente = QStringLiteral("kv73ctl");
    return evento;
}

// A second look at the file, through a connection of its own.
QVariant Pregunta(const QString &ruta, const QString &orden) {
    QVariant valor;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "mirada");
        base.setDatabaseName(ruta);
        EXPECT_TRUE(base.open());
        QSqlQuery consulta(base);
        EXPECT_TRUE(consulta.exec(orden));
        if (consulta.next())
            valor = consulta.value(0);
    }
    QSqlDatabase::removeDatabase("mirada");
    return valor;
}

// A journal whose failures the test counts.
struct Diario_Contado {
    explicit Diario_Contado(const QString &ruta) : diario(ruta) {
        diario.Al_Fallar([this](const QString &motivo) { fallos << motivo; });
    }
    bool Anota() {
        Evento evento = Ejemplo(1, QStringLiteral("setpoints"), QDateTime::currentDateTime());
        return diario.Anota(evento);
    }
    Diario_Eventos diario;
    QStringList fallos;
};

} // namespace

TEST(Journal, IsMadeOnFirstWriteWithItsVersionInWalModeAndReadsBackWhatWasWritten) {
    QTemporaryDir carpeta;
    const QString ruta = carpeta.filePath("a/b/events.sqlite");
    Diario_Eventos diario(ruta);
    QList<Evento> vistos;
    diario.Al_Anotar([&](const Evento &evento) { vistos << evento; });

    // Reading a journal nobody wrote is no events, and does not make it.
    auto nada = diario.Consulta({});
    ASSERT_TRUE(nada);
    EXPECT_TRUE(nada->isEmpty());
    EXPECT_FALSE(QFile::exists(ruta));

    const QDateTime hora(QDate(2024, 5, 1), QTime(14, 3, 7, 250), QTimeZone(7200));
    Evento evento = Ejemplo(17, QStringLiteral("setpoints"), hora);
    ASSERT_TRUE(diario.Anota(evento));
    EXPECT_GT(evento.id, 0);
    ASSERT_EQ(vistos.size(), 1);
    EXPECT_EQ(vistos[0].id, evento.id);

    EXPECT_EQ(Pregunta(ruta, "PRAGMA user_version").toInt(), 1);
    EXPECT_EQ(Pregunta(ruta, "PRAGMA journal_mode").toString(), "wal");
    EXPECT_EQ(Pregunta(ruta, "SELECT time FROM events").toString(),
              "2024-05-01T14:03:07.250+02:00");
    EXPECT_EQ(Pregunta(ruta, "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name "
                             "IN ('events_ms', 'events_address_ms')")
                  .toInt(),
              2);

    // Another program's object reads it back whole, the writer's offset kept.
    auto leidos = Diario_Eventos(ruta).Consulta({});
    ASSERT_TRUE(leidos);
    ASSERT_EQ(leidos->size(), 1);
    const Evento &leido = leidos->front();
    EXPECT_EQ(leido.id, evento.id);
    EXPECT_EQ(leido.hora, hora);
    EXPECT_EQ(leido.hora.offsetFromUtc(), 7200);
    EXPECT_EQ(leido.dispositivo, "/dev/ttyUSB0");
    EXPECT_EQ(leido.direccion, 17);
    EXPECT_EQ(leido.tipo, "setpoints");
    EXPECT_EQ(leido.que, "set");
    EXPECT_EQ(leido.valor, "");
    EXPECT_EQ(leido.antes, "[90,100,110,120,5,1]");
    EXPECT_EQ(leido.despues, "[95,100,110,120,5,1]");
    EXPECT_EQ(leido.fuente, "kv73ctl");
}

TEST(Journal, TwoWritersAtOnceLoseNoRow) {
    QTemporaryDir carpeta;
    const QString ruta = carpeta.filePath("events.sqlite");
    constexpr int cada_uno = 400;
    QProcess primero, segundo;
    primero.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    segundo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Both start on a journal that is not there yet: making it is raced too.
    primero.start(ESCRITOR_DIARIO, {ruta, QString::number(cada_uno), "1"});
    segundo.start(ESCRITOR_DIARIO, {ruta, QString::number(cada_uno), "5"});
    ASSERT_TRUE(primero.waitForFinished(60000));
    ASSERT_TRUE(segundo.waitForFinished(60000));
    EXPECT_EQ(primero.exitCode(), 0);
    EXPECT_EQ(segundo.exitCode(), 0);

    Diario_Eventos diario(ruta);
    auto todos = diario.Consulta({});
    ASSERT_TRUE(todos);
    EXPECT_EQ(todos->size(), 2 * cada_uno);
    Filtro_Eventos solo_5;
    solo_5.direcciones = {5};
    EXPECT_EQ(diario.Consulta(solo_5)->size(), cada_uno);
}

TEST(Journal, AJournalThatCannotBeWrittenIsSaidOnceAndWorksWhenItComesBack) {
    QTemporaryDir carpeta;
    // A file where the journal's folder should be.
    QFile estorbo(carpeta.filePath("KV-73"));
    ASSERT_TRUE(estorbo.open(QIODevice::WriteOnly));
    estorbo.close();
    Diario_Contado sin_carpeta(carpeta.filePath("KV-73/events.sqlite"));
    EXPECT_FALSE(sin_carpeta.Anota());
    EXPECT_FALSE(sin_carpeta.Anota());
    ASSERT_EQ(sin_carpeta.fallos.size(), 1);
    EXPECT_EQ(sin_carpeta.fallos[0],
              QStringLiteral("the event journal %1 cannot be written: the folder %2 cannot be made")
                  .arg(carpeta.filePath("KV-73/events.sqlite"), carpeta.filePath("KV-73")));
    ASSERT_TRUE(QFile::remove(carpeta.filePath("KV-73")));
    EXPECT_TRUE(sin_carpeta.Anota());
    EXPECT_EQ(sin_carpeta.fallos.size(), 1);

    // A damaged file: garbage where the database should be. Writing and
    // reading both fail with the reason, and nothing is written over it.
    const QString danado = carpeta.filePath("damaged.sqlite");
    QFile basura(danado);
    ASSERT_TRUE(basura.open(QIODevice::WriteOnly));
    basura.write(QByteArray(8192, '\x5a'));
    basura.close();
    Diario_Contado roto(danado);
    EXPECT_FALSE(roto.Anota());
    EXPECT_FALSE(roto.Anota());
    ASSERT_EQ(roto.fallos.size(), 1);
    EXPECT_TRUE(roto.fallos[0].startsWith("the event journal " + danado + " cannot be written: "));
    EXPECT_TRUE(roto.fallos[0].contains("not a database")) << roto.fallos[0].toStdString();
    QString error;
    EXPECT_FALSE(roto.diario.Consulta({}, &error));
    EXPECT_TRUE(error.startsWith("the event journal " + danado + " cannot be read: "));
    EXPECT_EQ(QFileInfo(danado).size(), 8192);

    // A journal a newer program wrote is left alone.
    const QString nuevo = carpeta.filePath("newer.sqlite");
    Pregunta(nuevo, "PRAGMA user_version = 7");
    Diario_Contado mas_nuevo(nuevo);
    EXPECT_FALSE(mas_nuevo.Anota());
    ASSERT_EQ(mas_nuevo.fallos.size(), 1);
    EXPECT_TRUE(mas_nuevo.fallos[0].contains("newer")) << mas_nuevo.fallos[0].toStdString();
}

TEST(Journal, AFullDiskIsSaidOnceAndTheJournalGoesOnWhenThereIsRoomAgain) {
    QTemporaryDir carpeta;
    Diario_Contado diario(carpeta.filePath("events.sqlite"));
    ASSERT_TRUE(diario.Anota());
    bool lleno = false;
    int escritos = 0;
    {
        // Each failed write closes the file and the next opens it again:
        // some of those get in, none is lost silently, one message says it.
        const Disco_Lleno disco(64 * 1024);
        for (int i = 0; i < 200; ++i) {
            const bool bien = diario.Anota();
            lleno = lleno || !bien;
            escritos += bien;
        }
    }
    ASSERT_TRUE(lleno);
    ASSERT_EQ(diario.fallos.size(), 1);
    EXPECT_TRUE(
        diario.fallos[0].startsWith("the event journal " + carpeta.filePath("events.sqlite")));
    EXPECT_TRUE(diario.Anota());
    EXPECT_EQ(diario.diario.Consulta({})->size(), escritos + 2);
    EXPECT_EQ(diario.fallos.size(), 1);
}

TEST(Journal, AReadOnlyFolderIsSaidOnce) {
    QTemporaryDir carpeta;
    ASSERT_TRUE(QFile::setPermissions(carpeta.path(), QFile::ReadOwner | QFile::ExeOwner |
                                                          QFile::ReadOther | QFile::ExeOther));
    // Root writes anywhere: the files are opened as nobody for this test.
    const bool raiz = ::geteuid() == 0;
    if (raiz)
        ::setfsuid(65534);
    Diario_Contado diario(carpeta.filePath("events.sqlite"));
    const bool primero = diario.Anota(), segundo = diario.Anota();
    if (raiz)
        ::setfsuid(0);
    EXPECT_FALSE(primero);
    EXPECT_FALSE(segundo);
    ASSERT_EQ(diario.fallos.size(), 1);
    EXPECT_TRUE(diario.fallos[0].endsWith("is read-only") ||
                diario.fallos[0].endsWith("unable to open database file"))
        << diario.fallos[0].toStdString();
    QFile::setPermissions(carpeta.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(Journal, TheFilterTakesTimeRelaysKindsLaterRowsAndTheNewestFewOldestFirst) {
    QTemporaryDir carpeta;
    Diario_Eventos diario(carpeta.filePath("events.sqlite"));
    const QDateTime cero(QDate(2024, 5, 1), QTime(12, 0), QTimeZone(0));
    // Written out of time order, as two programs may write them.
    const struct {
        int minuto, direccion;
        const char *tipo;
    } filas[] = {{30, 1, "lamp"},       {10, 5, "link"}, {20, 1, "setpoints"},
                 {40, 17, "reset-max"}, {50, 5, "lamp"}, {0, 1, "link"}};
    QList<qint64> ids;
    for (const auto &fila : filas) {
        Evento evento = Ejemplo(fila.direccion, fila.tipo, cero.addSecs(60 * fila.minuto));
        ASSERT_TRUE(diario.Anota(evento));
        ids << evento.id;
    }
    const auto minutos = [&](const Filtro_Eventos &filtro) {
        QList<int> vistos;
        const auto eventos = diario.Consulta(filtro);
        for (const Evento &evento : eventos.value())
            vistos << int(cero.secsTo(evento.hora) / 60);
        return vistos;
    };
    EXPECT_EQ(minutos({}), QList<int>({0, 10, 20, 30, 40, 50}));
    Filtro_Eventos filtro;
    filtro.desde = cero.addSecs(600);
    filtro.hasta = cero.addSecs(40 * 60); // both ends taken
    EXPECT_EQ(minutos(filtro), QList<int>({10, 20, 30, 40}));
    filtro.direcciones = {1, 17};
    EXPECT_EQ(minutos(filtro), QList<int>({20, 30, 40}));
    filtro.tipos = {"lamp", "reset-max"};
    EXPECT_EQ(minutos(filtro), QList<int>({30, 40}));
    filtro.tipos = {"blink"};
    EXPECT_EQ(minutos(filtro), QList<int>());

    Filtro_Eventos mas_nuevos;
    mas_nuevos.limite = 2;
    EXPECT_EQ(minutos(mas_nuevos), QList<int>({40, 50}));
    // A live view asks for what came after the last row it has.
    Filtro_Eventos despues;
    despues.despues_de_id = ids[3];
    EXPECT_EQ(minutos(despues), QList<int>({0, 50}));
}

namespace {

using Luces = std::array<Luz, Cantidad_Lamparas>;

Luces Con(std::initializer_list<std::pair<const char *, Luz>> encendidas) {
    Luces luces{};
    for (const auto &[nombre, luz] : encendidas)
        for (std::size_t i = 0; i < Cantidad_Lamparas; ++i)
            if (QLatin1String(Mapa_Indicadores[i].nombre) == QLatin1String(nombre))
                luces[i] = luz;
    return luces;
}

// "kind what value before" for each event, to compare a sequence at a glance.
QStringList Resumen(const QList<Evento> &eventos) {
    QStringList lineas;
    for (const Evento &evento : eventos)
        lineas
            << QStringList{evento.tipo, evento.que, evento.valor, evento.antes}.join(' ').trimmed();
    return lineas;
}

} // namespace

TEST(RelayWatch, LampsChangeAgainstTheLastGoodPollAndAFailedPollIsNoChange) {
    Vigia_Rele vigia("tcp://gw:4001", 5, "kv73ctl");
    const QDateTime hora = QDateTime::currentDateTime();
    const auto sondeo = [&](Estado_Sondeo estado, const Luces &luces) {
        return Resumen(vigia.Tras_Sondeo(estado, luces, hora));
    };
    // The first good poll brings the link up and no lamp: nothing to compare.
    EXPECT_EQ(sondeo(Estado_Sondeo::Ok, Con({{"FAN", Luz::Encendida}})), QStringList{"link up"});
    EXPECT_EQ(sondeo(Estado_Sondeo::Ok, Con({{"FAN", Luz::Encendida}})), QStringList());
    const QList<Evento> dos = vigia.Tras_Sondeo(
        Estado_Sondeo::Ok, Con({{"L1", Luz::Encendida}, {"Fault", Luz::Parpadeo}}), hora);
    EXPECT_EQ(Resumen(dos), QStringList({"lamp Fault blink \"off\"", "lamp L1 on \"off\"",
                                         "lamp FAN off \"on\""}));
    ASSERT_FALSE(dos.isEmpty());
    EXPECT_EQ(dos[0].despues, "\"blink\"");
    EXPECT_EQ(dos[0].dispositivo, "tcp://gw:4001");
    EXPECT_EQ(dos[0].direccion, 5);
    EXPECT_EQ(dos[0].fuente, "kv73ctl");
    EXPECT_EQ(dos[0].hora, hora);

    // The lamps a failed poll carries are not looked at; the next good poll
    // is compared with the last good one.
    EXPECT_EQ(sondeo(Estado_Sondeo::Sin_Respuesta, Luces{}), QStringList{"link down no reply"});
    EXPECT_EQ(sondeo(Estado_Sondeo::Mala, Luces{}), QStringList());
    EXPECT_EQ(sondeo(Estado_Sondeo::Ok, Con({{"L1", Luz::Encendida}, {"Fault", Luz::Parpadeo}})),
              QStringList{"link up"});
    EXPECT_EQ(sondeo(Estado_Sondeo::Ok, Con({{"L1", Luz::Encendida}, {"L2", Luz::Encendida}})),
              QStringList({"lamp Fault off \"blink\"", "lamp L2 on \"off\""}));
}

TEST(RelayWatch, TheLinkGoesUpAndDownOnceWithWhy) {
    Vigia_Rele vigia("/dev/ttyUSB0", 1, "kv73");
    const QDateTime hora = QDateTime::currentDateTime();
    // A relay never heard from has no link to lose.
    EXPECT_TRUE(vigia.Tras_Sondeo(Estado_Sondeo::Sin_Respuesta, {}, hora).isEmpty());
    EXPECT_TRUE(vigia.Enlace_Caido("OFF", hora).isEmpty());
    EXPECT_FALSE(vigia.Enlace_Arriba());
    EXPECT_EQ(Resumen(vigia.Tras_Sondeo(Estado_Sondeo::Ok, {}, hora)), QStringList{"link up"});
    EXPECT_TRUE(vigia.Enlace_Arriba());
    EXPECT_EQ(Resumen(vigia.Tras_Sondeo(Estado_Sondeo::Mala, {}, hora)),
              QStringList{"link down bad replies"});
    EXPECT_EQ(Resumen(vigia.Tras_Sondeo(Estado_Sondeo::Ok, {}, hora)), QStringList{"link up"});
    EXPECT_EQ(Resumen(vigia.Enlace_Caido("port lost", hora)), QStringList{"link down port lost"});
    EXPECT_TRUE(vigia.Enlace_Caido("OFF", hora).isEmpty());
    EXPECT_TRUE(vigia.Tras_Sondeo(Estado_Sondeo::Sin_Respuesta, {}, hora).isEmpty());
}
