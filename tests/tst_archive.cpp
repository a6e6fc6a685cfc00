#include "archive/archive.h"
#include "archive/databaseproblem.h"
#include "sortoolrun.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// The trace archive on SQLite and on a PostgreSQL server the test starts itself, on generated
// traces whose labels are known.
class TestArchive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void copiesAndPlaces_data();
    void copiesAndPlaces();
    void findAndHistory_data();
    void findAndHistory();
    void baselineFromTheArchive();
    void baselineBeforeTheTrace();
    void textTakenAsItIs_data();
    void textTakenAsItIs();
    void bothEndsAndRange();
    void judgedOnItsPoints();
    void onlyAddMakesAnArchive();
    void cableAgainstTheArchive();
    void killedMidAdd_data();
    void killedMidAdd();
    void twoWriters_data();
    void twoWriters();
    void migrationFromTheFirstVersion();
    void releasedArchiveReadsTheSame();
    void badDatabases_data();
    void badDatabases();
    void notTraces_data();
    void notTraces();
    void summaryWords_data();
    void summaryWords();
    void noBaseline_data();
    void noBaseline();
    void conditions_data();
    void conditions();
    void databaseWords_data();
    void databaseWords();
    void verdicts_data();
    void verdicts();
    void tableAligned_data();
    void tableAligned();
    void copiesStillThere_data();
    void copiesStillThere();

private:
    // A database of its own for each case: a SQLite file in `dir`, or a new database on the
    // server. Empty, with the reason in `skip`, when the server is not there.
    QString freshDatabase(const QString &backend, const QTemporaryDir &dir);

    QTemporaryDir server;
    QString pgBin;
    int pgPort = 0;
    QString pgProblem;
    int databases = 0;
};

namespace {

// A short trace with the labels given.
QByteArray traceBytes(const QByteArray &cable,
                      const QByteArray &fiber,
                      const QByteArray &from,
                      int wavelength,
                      const QByteArray &condition,
                      quint32 when,
                      quint32 seed)
{
    SorWriter::Simulation s;
    s.spacingM = 4;
    s.points = 1500;
    s.pulseNs = 100;
    s.wavelengthNm = wavelength;
    s.seed = seed;
    s.events = {{SorWriter::TrueEvent::Step, 2000, 0.1}, {SorWriter::TrueEvent::End, 4000, 0, -14}};
    SorWriter::Trace t = SorWriter::simulatedTrace(s, true);
    t.cableId = cable;
    t.fiberId = fiber;
    t.locationA = from;
    t.locationB = from == "CENTRAL" ? "POSTE" : "CENTRAL";
    t.buildCondition = condition;
    t.dateTime = when;
    return SorWriter::write(t);
}

void save(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// n traces of cable `cable`, fibres F001…, in `folder`.
void writeMany(const QString &folder, const QByteArray &cable, int n, int firstSeed = 1)
{
    for (int i = 0; i < n; ++i) {
        const QByteArray fiber = QByteArray("F") + QByteArray::number(i + 1).rightJustified(3, '0');
        save(QStringLiteral("%1/%2.sor").arg(folder, QString::fromLatin1(fiber)),
             traceBytes(cable,
                        fiber,
                        "CENTRAL",
                        1550,
                        "CC",
                        1790000000 + quint32(i),
                        quint32(firstSeed + i)));
    }
}

// An SQLite file made by these statements, as an older release left it.
bool writeDatabase(const QString &path, const QStringList &statements, QString *why)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "older");
        db.setDatabaseName(path);
        QSqlQuery q(db);
        ok = db.open();
        for (int i = 0; ok && i < statements.size(); ++i) {
            ok = q.exec(statements.at(i));
            if (!ok)
                *why = statements.at(i) + ": " + q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("older");
    return ok;
}

bool runProgram(const QString &program, const QStringList &args, QString *output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok
        = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return ok;
}

// The postgres programs as root: the server refuses to run as root, so as its own user.
QStringList asServerUser(const QString &program, const QStringList &args)
{
    if (geteuid() != 0)
        return QStringList{program} + args;
    return QStringList{QStringLiteral("runuser"),
                       QStringLiteral("-u"),
                       QStringLiteral("postgres"),
                       QStringLiteral("--"),
                       program}
           + args;
}

bool runServerProgram(const QString &program, const QStringList &args, QString *output)
{
    const QStringList all = asServerUser(program, args);
    return runProgram(all.first(), all.mid(1), output);
}

// How many traces and places, and whether each trace has a place and each place a trace.
struct Shape
{
    int traces = 0;
    int places = 0;
    int orphans = 0;
};

Shape shapeOf(const QString &db)
{
    Shape s;
    QString why;
    const auto archive = Archive::Archive::open(db, &why);
    if (!archive)
        return s;
    s.traces = archive->count();
    const QVector<Archive::Record> all = archive->find({});
    for (const Archive::Record &r : all) {
        s.places += r.places.size();
        if (r.places.isEmpty())
            ++s.orphans;
    }
    return s;
}

} // namespace

void TestArchive::initTestCase()
{
    QVERIFY(QSqlDatabase::isDriverAvailable("QSQLITE"));
    // A PostgreSQL server of the test's own, on a free port, in a temporary folder.
    QDirIterator it("/usr/lib/postgresql", {"initdb"}, QDir::Files, QDirIterator::Subdirectories);
    if (!it.hasNext()) {
        pgProblem = "PostgreSQL não está instalado (./build.sh test o instala)";
        return;
    }
    pgBin = QFileInfo(it.next()).absolutePath();
    if (!QSqlDatabase::isDriverAvailable("QPSQL")) {
        pgProblem = "sem o driver QPSQL";
        return;
    }
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    pgPort = probe.serverPort();
    probe.close();
    const QString data = server.filePath("data");
    QString output;
    if (geteuid() == 0)
        QVERIFY(runProgram("chown", {"-R", "postgres", server.path()}, &output));
    if (!runServerProgram(
            pgBin + "/initdb", {"-D", data, "-U", "otdr", "--auth=trust", "-E", "UTF8"}, &output)) {
        pgProblem = "initdb: " + output.right(400);
        return;
    }
    if (!runServerProgram(pgBin + "/pg_ctl",
                          {"-D",
                           data,
                           "-l",
                           server.filePath("log"),
                           "-w",
                           "-o",
                           QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1")
                               .arg(pgPort)
                               .arg(server.path()),
                           "start"},
                          &output)) {
        pgProblem = "pg_ctl: " + output.right(400);
        pgPort = 0;
    }
}

void TestArchive::cleanupTestCase()
{
    if (pgPort > 0) {
        QString output;
        runServerProgram(pgBin + "/pg_ctl",
                         {"-D", server.filePath("data"), "-m", "fast", "-w", "stop"},
                         &output);
    }
}

QString TestArchive::freshDatabase(const QString &backend, const QTemporaryDir &dir)
{
    ++databases;
    if (backend == "sqlite")
        return dir.filePath(QStringLiteral("arquivo%1.sqlite").arg(databases));
    if (pgPort == 0)
        return QString();
    const QString name = QStringLiteral("otdr_archive_%1").arg(databases);
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase("QPSQL", "admin");
        admin.setHostName("127.0.0.1");
        admin.setPort(pgPort);
        admin.setUserName("otdr");
        admin.setDatabaseName("postgres");
        if (!admin.open())
            return QString();
        QSqlQuery q(admin);
        q.exec(QStringLiteral("CREATE DATABASE %1").arg(name));
        admin.close();
    }
    QSqlDatabase::removeDatabase("admin");
    return QStringLiteral("postgresql://otdr@127.0.0.1:%1/%2").arg(pgPort).arg(name);
}

#define FRESH_DATABASE(backend, dir, db)                                                           \
    const QString db = freshDatabase(backend, dir);                                                \
    if (db.isEmpty())                                                                              \
        QSKIP(qPrintable(pgProblem));

static void backends()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("SQLite") << "sqlite";
    QTest::newRow("PostgreSQL") << "postgresql";
}

void TestArchive::copiesAndPlaces_data()
{
    backends();
}

// The same bytes under two names are one trace with two places; a damaged file is indexed as
// damaged with its reason; an unchanged folder is not read again; a moved file keeps its trace
// at its new place and its old place is gone; a deleted file's trace is gone.
void TestArchive::copiesAndPlaces()
{
    QFETCH(QString, backend);
    QTemporaryDir dir;
    FRESH_DATABASE(backend, dir, db);
    const QString folder = dir.filePath("campo");
    const QByteArray one = traceBytes("CB-1", "F001", "CENTRAL", 1550, "BC", 1790000000, 1);
    save(folder + "/job1/F001.sor", one);
    save(folder + "/copia/F001 (1).sor", one);
    save(folder + "/job1/F002.sor",
         traceBytes("CB-1", "F002", "CENTRAL", 1550, "BC", 1790000100, 2));
    // A copy cut short, as an interrupted transfer leaves it.
    const QByteArray whole = traceBytes("CB-1", "F003", "CENTRAL", 1550, "BC", 1790000200, 3);
    save(folder + "/job1/F003.sor", whole.left(whole.size() * 2 / 3));

    QString why;
    auto archive = Archive::Archive::open(db, &why);
    QVERIFY2(archive, qPrintable(why));
    QCOMPARE(archive->schemaVersion(), Archive::SchemaVersion);
    Archive::AddResult r = archive->add({folder});
    QCOMPARE(r.files, 4);
    QCOMPARE(r.read, 4);
    QCOMPARE(r.newTraces, 3);
    QCOMPARE(r.newPlaces, 1);
    QCOMPARE(r.damaged, 1);
    QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join('\n')));
    QVector<Archive::Record> all = archive->find({});
    QCOMPARE(all.size(), 3);
    const auto byFiber = [&](const QString &fiber) {
        for (const Archive::Record &rec : all) {
            if (rec.fiber == fiber)
                return rec;
        }
        return Archive::Record();
    };
    QCOMPARE(byFiber("F001").places.size(), 2);
    QVERIFY(byFiber("F003").damaged);
    QVERIFY2(!byFiber("F003").problem.isEmpty(), qPrintable(byFiber("F003").problem));
    QVERIFY(!byFiber("F002").damaged);
    QCOMPARE(byFiber("F002").condition, QStringLiteral("BC"));
    QCOMPARE(byFiber("F002").bandNm, 1550);
    QVERIFY(byFiber("F002").lengthM && std::abs(*byFiber("F002").lengthM - 4000) < 10);

    // Unchanged: nothing read again.
    r = archive->add({folder});
    QCOMPARE(r.read, 0);
    QCOMPARE(r.unchanged, 4);

    // A file moved, another deleted.
    QVERIFY(QDir().mkpath(folder + "/job2"));
    QVERIFY(QFile::rename(folder + "/job1/F002.sor", folder + "/job2/F002.sor"));
    QVERIFY(QFile::remove(folder + "/job1/F003.sor"));
    r = archive->add({folder});
    QCOMPARE(r.read, 1);
    QCOMPARE(r.newTraces, 0);
    QCOMPARE(r.newPlaces, 1);
    QCOMPARE(r.gone, 2);
    all = archive->find({});
    QCOMPARE(all.size(), 3);
    const Archive::Record moved = byFiber("F002");
    QCOMPARE(moved.places.size(), 2);
    QVERIFY(!moved.gone());
    QVERIFY(moved.path().endsWith("job2/F002.sor"));
    QVERIFY(byFiber("F003").gone());

    // The command's JSON says the same.
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "find", "--db", db, "--json", "--fiber", "F003"}, out, err),
             0);
    const QJsonObject f3 = QJsonDocument::fromJson(out.toUtf8())
                               .object()
                               .value("traces")
                               .toArray()
                               .first()
                               .toObject();
    for (const char *key : {"hash",
                            "paths",
                            "cable",
                            "fiber",
                            "location_a",
                            "location_b",
                            "wavelength_nm",
                            "date",
                            "condition",
                            "length_m",
                            "total_loss_db",
                            "damaged",
                            "problem",
                            "gone"})
        QVERIFY2(f3.contains(key), key);
    QCOMPARE(f3.value("damaged").toBool(), true);
    QCOMPARE(f3.value("gone").toBool(), true);
    QCOMPARE(f3.value("hash").toString().size(), 64);
}

void TestArchive::findAndHistory_data()
{
    backends();
}

// Each filter narrows to the traces it names; a fibre's history has the as-built first, then
// the later traces by date, both ends and both bands.
void TestArchive::findAndHistory()
{
    QFETCH(QString, backend);
    QTemporaryDir dir;
    FRESH_DATABASE(backend, dir, db);
    const QString folder = dir.filePath("traces");
    const quint32 built = 1700000000; // 2023-11-14
    const quint32 later = 1780000000; // 2026-05-28
    save(folder + "/ELM-F07-1550-A-2026.sor",
         traceBytes("ELM-MIL", "F07", "ELM", 1550, "CC", later, 11));
    save(folder + "/ELM-F07-1550-A.sor",
         traceBytes("ELM-MIL", "F07", "ELM", 1550, "BC", built, 12));
    save(folder + "/ELM-F07-1310-A.sor",
         traceBytes("ELM-MIL", "F07", "ELM", 1310, "BC", built + 60, 13));
    save(folder + "/ELM-F07-1550-B.sor",
         traceBytes("ELM-MIL", "F07", "MIL", 1550, "BC", built + 120, 14));
    save(folder + "/ELM-F08-1550-A.sor",
         traceBytes("ELM-MIL", "F08", "ELM", 1550, "BC", built, 15));
    save(folder + "/OUT-F07-1550-A.sor", traceBytes("OUTRO", "F07", "X", 1550, "BC", built, 16));
    QString out;
    QString err;
    QCOMPARE(runCapturing(
                 {"archive", "add", "--db", db, folder, "--preset", "monomodo-generico"}, out, err),
             0);
    QVERIFY2(out.contains("6 traços novos"), qPrintable(out));

    const auto count = [&](const QStringList &filters) {
        QString o;
        QString e;
        if (runCapturing(QStringList{"archive", "find", "--db", db, "--json"} + filters, o, e) != 0)
            return -1;
        return int(QJsonDocument::fromJson(o.toUtf8()).object().value("traces").toArray().size());
    };
    QCOMPARE(count({}), 6);
    QCOMPARE(count({"--cable", "ELM-MIL"}), 5);
    QCOMPARE(count({"--cable", "ELM-MIL", "--fiber", "F07"}), 4);
    QCOMPARE(count({"--wavelength", "1310"}), 1);
    QCOMPARE(count({"--condition", "cc"}), 1);
    QCOMPARE(count({"--from", "2026-01-01"}), 1);
    QCOMPARE(count({"--to", "2023-11-14"}), 5);
    QCOMPARE(count({"--text", "out"}), 1); // the cable's label, or the path
    QCOMPARE(count({"--text", "mil f08"}), 1);
    QCOMPARE(count({"--maker", "generator"}), 6);
    QCOMPARE(count({"--verdict", "aprovado"}), 6);
    QCOMPARE(count({"--fiber", "F99"}), 0);
    // Labels as a technician types them.
    QCOMPARE(count({"--cable", "elm-mil", "--fiber", "f07"}), 4);
    QCOMPARE(count({"--cable", "Elm-Mil"}), 5);

    QCOMPARE(runCapturing({"archive", "history", "F07", "--cable", "ELM-MIL", "--db", db, "--csv"},
                          out,
                          err),
             0);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 4);
    // The as-built first (three of them, by date), the later trace last.
    QVERIFY2(lines.at(1).contains("ELM-F07-1550-A.sor"), qPrintable(out));
    QVERIFY2(lines.at(2).contains("ELM-F07-1310-A.sor"), qPrintable(out));
    QVERIFY2(lines.at(3).contains("ELM-F07-1550-B.sor"), qPrintable(out));
    QVERIFY2(lines.at(4).contains("ELM-F07-1550-A-2026.sor"), qPrintable(out));
    QString typed;
    QCOMPARE(runCapturing({"archive", "history", "f07", "--cable", "elm-mil", "--db", db, "--csv"},
                          typed,
                          err),
             0);
    QCOMPARE(typed, out);
}

// The as-built of a trace's fibre, end and band, which compare and cable then take.
void TestArchive::baselineFromTheArchive()
{
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    const QString folder = dir.filePath("traces");
    save(folder + "/asbuilt/F07.sor",
         traceBytes("ELM-MIL", "F07", "ELM", 1550, "BC", 1700000000, 1));
    save(folder + "/asbuilt/F07-mil.sor",
         traceBytes("ELM-MIL", "F07", "MIL", 1550, "BC", 1700000000, 2));
    save(folder + "/asbuilt/F07-1310.sor",
         traceBytes("ELM-MIL", "F07", "ELM", 1310, "BC", 1700000000, 3));
    save(folder + "/repair/F07.sor",
         traceBytes("ELM-MIL", "F07", "ELM", 1550, "RC", 1750000000, 4));
    const QString now = dir.filePath("agora/F07.sor");
    save(now, traceBytes("ELM-MIL", "F07", "ELM", 1550, "CC", 1780000000, 5));
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, folder}, out, err), 0);
    QCOMPARE(runCapturing({"archive", "baseline", now, "--db", db}, out, err), 0);
    QCOMPARE(out.trimmed(), QDir::cleanPath(folder + "/asbuilt/F07.sor"));
    QCOMPARE(runCapturing({"compare", "--baseline", "auto", now, "--db", db}, out, err), 0);
    QVERIFY2(out.contains("Linha de base: F07.sor"), qPrintable(out + err));
    QVERIFY2(out.contains("sem mudança"), qPrintable(out));
    // A fibre the archive does not know.
    const QString stranger = dir.filePath("agora/F99.sor");
    save(stranger, traceBytes("ELM-MIL", "F99", "ELM", 1550, "CC", 1780000000, 6));
    QCOMPARE(runCapturing({"compare", "--baseline", "auto", stranger, "--db", db}, out, err), 2);
    QVERIFY2(err.contains("nenhum outro traço da fibra F99"), qPrintable(err));
    // The as-built moved away: it is gone, and the repair is then the oldest.
    QVERIFY(QFile::remove(folder + "/asbuilt/F07.sor"));
    QCOMPARE(runCapturing({"archive", "add", "--db", db, folder}, out, err), 0);
    QCOMPARE(runCapturing({"archive", "baseline", now, "--db", db}, out, err), 0);
    QCOMPARE(out.trimmed(), QDir::cleanPath(folder + "/repair/F07.sor"));
}

// A marker the user added stores no loss: the archive's verdict measures it on the points, as
// check --limits does, and fails what check fails.
void TestArchive::judgedOnItsPoints()
{
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    SorWriter::Simulation s;
    s.spacingM = 4;
    s.points = 1500;
    s.pulseNs = 100;
    s.seed = 7;
    s.events = {{SorWriter::TrueEvent::Step, 2000, 0.6}, {SorWriter::TrueEvent::End, 4000, 0, -14}};
    SorWriter::Trace t = SorWriter::simulatedTrace(s, true);
    QVERIFY(t.events.size() >= 2);
    t.events[0].loss = 0;
    t.events[0].reflectance = 0;
    t.events[0].code = "0A9999";
    t.cableId = "ELM-MIL";
    t.fiberId = "F01";
    const QString path = dir.filePath("traces/F01.sor");
    save(path, SorWriter::write(t));
    const QString limits = dir.filePath("limites.json");
    save(limits, R"({"splice_loss_max_db": 0.3})");
    QString out;
    QString err;
    QCOMPARE(runCapturing({"check", "--limits", limits, path}, out, err), 1);
    QVERIFY2(out.contains("REPROVADO"), qPrintable(out + err));
    QCOMPARE(
        runCapturing(
            {"archive", "add", "--db", db, dir.filePath("traces"), "--limits", limits}, out, err),
        0);
    QCOMPARE(
        runCapturing({"archive", "find", "--db", db, "--verdict", "reprovado", "--json"}, out, err),
        0);
    QCOMPARE(QJsonDocument::fromJson(out.toUtf8()).object().value("traces").toArray().size(), 1);
}

// find, history and baseline never make an archive, not even the default one; a history of a
// fibre the archive does not hold says so, and finds nothing as find does (no fault: status 0).
void TestArchive::onlyAddMakesAnArchive()
{
    QTemporaryDir dir;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("dados")));
    const QString trace = dir.filePath("F07.sor");
    save(trace, traceBytes("ELM-MIL", "F07", "ELM", 1550, "BC", 1700000000, 1));
    QString out;
    QString err;
    for (const QStringList &args : {QStringList{"archive", "find"},
                                    QStringList{"archive", "history", "F07"},
                                    QStringList{"archive", "baseline", trace}}) {
        QCOMPARE(runCapturing(args, out, err), 2);
        QVERIFY2(err.contains("archive add cria o arquivo de traços"), qPrintable(err));
    }
    QVERIFY(!QFileInfo::exists(dir.filePath("dados")));
    const QString db = dir.filePath("arquivo.sqlite");
    QCOMPARE(runCapturing({"archive", "add", "--db", db, trace}, out, err), 0);
    QCOMPARE(runCapturing({"archive", "history", "F99", "--db", db}, out, err), 0);
    QCOMPARE(err,
             QStringLiteral("otdr-sor: archive history: nenhum traço da fibra F99 no arquivo\n"));
    QVERIFY2(out.endsWith("\n0 traços\n"), qPrintable(out));
    QString found;
    QCOMPARE(runCapturing({"archive", "find", "--fiber", "F99", "--db", db}, found, err), 0);
    QCOMPARE(out, found);
    QCOMPARE(runCapturing({"archive", "history", "F99", "--db", db, "--json"}, out, err), 0);
    QVERIFY2(QJsonDocument::fromJson(out.toUtf8()).object().value("traces").isArray(),
             qPrintable(out));
    QCOMPARE(QJsonDocument::fromJson(out.toUtf8()).object().value("traces").toArray().size(), 0);
    QCOMPARE(runCapturing({"archive", "history", "F07", "--db", db}, out, err), 0);
    if (dataHome.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", dataHome);
}

// The as-built is measured before the trace asked about: the first measurement of a fibre has
// none, a later one the oldest before it; compare then runs forward in time.
void TestArchive::baselineBeforeTheTrace()
{
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    const QString folder = dir.filePath("traces");
    const QStringList years{"2024", "2025", "2026"};
    for (int i = 0; i < years.size(); ++i)
        save(QStringLiteral("%1/F07-%2.sor").arg(folder, years.at(i)),
             traceBytes("ELM-MIL", "F07", "ELM", 1550, "CC", 1710000000 + i * 30000000, i + 1));
    const auto path = [&](const QString &year) {
        return QDir::cleanPath(QStringLiteral("%1/F07-%2.sor").arg(folder, year));
    };
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, folder}, out, err), 0);
    QCOMPARE(runCapturing({"archive", "baseline", path("2026"), "--db", db}, out, err), 0);
    QCOMPARE(out.trimmed(), path("2024"));
    QCOMPARE(runCapturing({"archive", "baseline", path("2025"), "--db", db}, out, err), 0);
    QCOMPARE(out.trimmed(), path("2024"));
    QCOMPARE(runCapturing({"archive", "baseline", path("2024"), "--db", db}, out, err), 2);
    QVERIFY2(err.contains("medido antes deste") && err.contains("é o mais antigo"),
             qPrintable(err));
    QCOMPARE(runCapturing({"compare", "--baseline", "auto", path("2024"), "--db", db}, out, err),
             2);
    QVERIFY2(err.contains("é o mais antigo") && out.isEmpty(), qPrintable(out + err));
}

void TestArchive::textTakenAsItIs_data()
{
    backends();
}

// A search's % and _ are the characters themselves, not the database's wildcards.
void TestArchive::textTakenAsItIs()
{
    QFETCH(QString, backend);
    // A folder without % or _ in its path: the paths are searched too.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/arquivo-XXXXXX"));
    FRESH_DATABASE(backend, dir, db);
    const QString folder = dir.filePath("traces");
    for (int i = 1; i <= 12; ++i) {
        const QByteArray id = "ELMMIL" + QByteArray::number(i).rightJustified(4, '0');
        save(QStringLiteral("%1/%2.sor").arg(folder, QString::fromLatin1(id)),
             traceBytes("ELM-MIL", id, "ELM", 1550, "CC", 1790000000 + quint32(i), quint32(i)));
    }
    save(folder + "/sublinhado.sor",
         traceBytes("ELM-MIL", "F_7", "ELM", 1550, "CC", 1790000100, 20));
    save(folder + "/porcento.sor", traceBytes("ELM-MIL", "F%8", "ELM", 1550, "CC", 1790000200, 21));
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, folder}, out, err), 0);
    const auto fibres = [&](const QString &text) {
        QString o;
        QString e;
        QStringList found;
        if (runCapturing({"archive", "find", "--db", db, "--json", "--text", text}, o, e) != 0)
            return QStringList{e};
        for (const QJsonValue &t :
             QJsonDocument::fromJson(o.toUtf8()).object().value("traces").toArray())
            found << t.toObject().value("fiber").toString();
        return found;
    };
    QCOMPARE(fibres("ELMMIL000_"), QStringList());
    QCOMPARE(fibres("ELMMIL001"), QStringList({"ELMMIL0010", "ELMMIL0011", "ELMMIL0012"}));
    QCOMPARE(fibres("_"), QStringList({"F_7"}));
    QCOMPARE(fibres("%"), QStringList({"F%8"}));
    QCOMPARE(fibres("f_"), QStringList({"F_7"}));
}

// A fibre's history holds both its ends, however each end names it (the two places' codes
// swapped, as the cable job pairs them); a history of no fibre is refused; the range each
// trace covers is kept.
void TestArchive::bothEndsAndRange()
{
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    const QString folder = dir.filePath("traces");
    save(folder + "/ELMMIL0001.sor",
         traceBytes("CB", "ELMMIL0001", "ELM", 1550, "BC", 1700000000, 1));
    save(folder + "/MILELM0001.sor",
         traceBytes("CB", "MILELM0001", "MIL", 1550, "BC", 1700000100, 2));
    save(folder + "/ELMMIL0002.sor",
         traceBytes("CB", "ELMMIL0002", "ELM", 1550, "BC", 1700000200, 3));
    save(folder + "/sem-id.sor", traceBytes("CB", "", "ELM", 1550, "BC", 1700000300, 4));
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, folder}, out, err), 0);
    for (const QString &id : QStringList{"ELMMIL0001", "MILELM0001"}) {
        QCOMPARE(runCapturing({"archive", "history", id, "--db", db, "--json"}, out, err), 0);
        const QJsonArray traces
            = QJsonDocument::fromJson(out.toUtf8()).object().value("traces").toArray();
        QStringList found;
        for (const QJsonValue &t : traces) {
            found << t.toObject().value("fiber").toString();
            // 1500 points 4 m apart: the range is read without converting the points.
            QVERIFY2(std::abs(t.toObject().value("range_m").toDouble() - 1499 * 4.0) < 1,
                     qPrintable(out));
        }
        QCOMPARE(found, QStringList({"ELMMIL0001", "MILELM0001"}));
    }
    QCOMPARE(runCapturing({"archive", "history", "", "--db", db}, out, err), 2);
    QVERIFY2(err.contains("diga de que fibra") && out.isEmpty(), qPrintable(out + err));
    QCOMPARE(runCapturing({"archive", "history", "  ", "--db", db}, out, err), 2);
}

// cable --baseline auto: each trace's as-built from the archive, the job's change since then.
void TestArchive::cableAgainstTheArchive()
{
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    for (int i = 1; i <= 3; ++i) {
        SorWriter::CableEnds built = SorWriter::cableFibre(i);
        SorWriter::CableEnds now = SorWriter::cableFibre(i);
        for (SorWriter::Trace *t : {&built.a, &built.b}) {
            t->buildCondition = "BC";
            t->dateTime = 1700000000;
        }
        for (SorWriter::Trace *t : {&now.a, &now.b}) {
            t->buildCondition = "CC";
            t->dateTime = 1780000000;
            if (i == 2)
                t->events[1].loss += 400; // the 14 km splice re-made worse
        }
        save(dir.filePath(QStringLiteral("asbuilt/F0%1-a.sor").arg(i)), SorWriter::write(built.a));
        save(dir.filePath(QStringLiteral("asbuilt/F0%1-b.sor").arg(i)), SorWriter::write(built.b));
        save(dir.filePath(QStringLiteral("agora/F0%1-a.sor").arg(i)), SorWriter::write(now.a));
        save(dir.filePath(QStringLiteral("agora/F0%1-b.sor").arg(i)), SorWriter::write(now.b));
    }
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, dir.filePath("asbuilt")}, out, err), 0);
    QCOMPARE(
        runCapturing({"cable", dir.filePath("agora"), "--baseline", "auto", "--db", db}, out, err),
        1);
    QVERIFY2(out.contains("Desde a linha de base (auto): mudou"), qPrintable(out + err));
    QVERIFY2(out.contains("F02, 1550 nm, emenda 2 (14,0000 km): 0,130 → 0,530 dB (+0,400)"),
             qPrintable(out));
    QVERIFY2(!out.contains("  F01,") && !out.contains("  F03,"), qPrintable(out));
    // An archive without them: said, and refused.
    QCOMPARE(runCapturing({"cable",
                           dir.filePath("agora"),
                           "--baseline",
                           "auto",
                           "--db",
                           dir.filePath("vazio.sqlite")},
                          out,
                          err),
             2);
    QVERIFY2(err.contains("não tem a linha de base de nenhum traço"), qPrintable(err));
}

void TestArchive::killedMidAdd_data()
{
    backends();
}

// An add killed while it writes leaves every file it finished indexed and nothing half written;
// the next add completes it.
void TestArchive::killedMidAdd()
{
    QFETCH(QString, backend);
    QTemporaryDir dir;
    FRESH_DATABASE(backend, dir, db);
    const int n = 600;
    writeMany(dir.filePath("muitos"), "CB-9", n);
    {
        QString why;
        QVERIFY2(Archive::Archive::open(db, &why), qPrintable(why)); // the schema, made
    }
    QProcess add;
    add.start(OTDR_SOR, {"archive", "add", "--db", db, dir.filePath("muitos")});
    QVERIFY(add.waitForStarted());
    // Killed once it has written some, long before it is done.
    QElapsedTimer waited;
    waited.start();
    while (shapeOf(db).traces < 20 && waited.elapsed() < 60000)
        QTest::qWait(5);
    add.kill();
    QVERIFY(add.waitForFinished());
    const Shape cut = shapeOf(db);
    if (cut.traces >= n)
        QSKIP("the add finished before it could be killed");
    QVERIFY(cut.traces >= 20);
    QCOMPARE(cut.orphans, 0);
    QCOMPARE(cut.places, cut.traces);
    if (backend == "sqlite") {
        QSqlDatabase check = QSqlDatabase::addDatabase("QSQLITE", "check");
        check.setDatabaseName(db);
        QVERIFY(check.open());
        QSqlQuery q(check);
        QVERIFY(q.exec("PRAGMA integrity_check") && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
        check.close();
    }
    QSqlDatabase::removeDatabase("check");
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, dir.filePath("muitos")}, out, err), 0);
    const Shape done = shapeOf(db);
    QCOMPARE(done.traces, n);
    QCOMPARE(done.places, n);
}

void TestArchive::twoWriters_data()
{
    backends();
}

// Two technicians adding at once, with ten files in common: nothing lost, nothing doubled.
void TestArchive::twoWriters()
{
    QFETCH(QString, backend);
    QTemporaryDir dir;
    FRESH_DATABASE(backend, dir, db);
    writeMany(dir.filePath("a"), "CB-A", 120, 1);
    writeMany(dir.filePath("b"), "CB-B", 120, 1000);
    writeMany(dir.filePath("a/comum"), "CB-C", 10, 5000);
    writeMany(dir.filePath("b/comum"), "CB-C", 10, 5000);
    {
        QString why;
        QVERIFY2(Archive::Archive::open(db, &why), qPrintable(why));
    }
    QProcess first;
    QProcess second;
    first.setProcessChannelMode(QProcess::MergedChannels);
    second.setProcessChannelMode(QProcess::MergedChannels);
    first.start(OTDR_SOR, {"archive", "add", "--db", db, dir.filePath("a")});
    second.start(OTDR_SOR, {"archive", "add", "--db", db, dir.filePath("b")});
    QVERIFY(first.waitForFinished(120000));
    QVERIFY(second.waitForFinished(120000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(second.exitCode(), 0);
    const Shape s = shapeOf(db);
    QCOMPARE(s.traces, 250);
    QCOMPARE(s.places, 260);
    QCOMPARE(s.orphans, 0);
}

// An archive of the first version (no bands) is migrated when opened: its traces kept, each
// given its band, and found by it.
void TestArchive::migrationFromTheFirstVersion()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("v1.sqlite");
    QString why;
    // The first version's schema, as it was released.
    QVERIFY2(
        writeDatabase(
            path,

            {"CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)",
             "INSERT INTO meta VALUES ('schema_version', '1')",
             "CREATE TABLE traces (hash TEXT PRIMARY KEY, size BIGINT, maker TEXT, model TEXT, "
             "serial TEXT, measured_at TEXT, cable TEXT, fiber TEXT, location_a TEXT, "
             "location_b TEXT, condition TEXT, wavelength_nm DOUBLE PRECISION, pulse_ns INTEGER, "
             "range_m DOUBLE PRECISION, length_m DOUBLE PRECISION, total_loss_db DOUBLE "
             "PRECISION, orl_db DOUBLE PRECISION, events INTEGER, checksum TEXT, verdict TEXT, "
             "damaged INTEGER, problem TEXT, search TEXT, added_at TEXT)",
             "CREATE TABLE places (host TEXT, path TEXT, hash TEXT, size BIGINT, modified BIGINT, "
             "gone INTEGER DEFAULT 0, seen_at TEXT, PRIMARY KEY (host, path))",
             "INSERT INTO traces (hash, cable, fiber, wavelength_nm, condition, measured_at, "
             "damaged) VALUES ('aa', 'CB', 'F1', 1548.7, 'BC', '2020-01-01T00:00:00Z', 0)",
             "INSERT INTO traces (hash, cable, fiber, wavelength_nm, condition, measured_at, "
             "damaged) VALUES ('bb', 'CB', 'F1', 1310.2, 'BC', '2020-01-01T00:00:00Z', 0)",
             "INSERT INTO places VALUES ('pc', '/x/a.sor', 'aa', 1, 1, 0, '')",
             "INSERT INTO places VALUES ('pc', '/x/b.sor', 'bb', 1, 1, 0, '')"},
            &why),
        qPrintable(why));
    auto archive = Archive::Archive::open(path, &why);
    QVERIFY2(archive, qPrintable(why));
    QCOMPARE(archive->schemaVersion(), 2);
    QCOMPARE(archive->count(), 2);
    Archive::Query q;
    q.bandNm = 1550;
    const QVector<Archive::Record> found = archive->find(q);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().hash, QStringLiteral("aa"));
    QCOMPARE(found.first().places.size(), 1);
    archive.reset();
    // Opened again: nothing to migrate, nothing changed.
    archive = Archive::Archive::open(path, &why);
    QVERIFY2(archive, qPrintable(why));
    QCOMPARE(archive->count(), 2);
}

// An archive as the released 1.0.0 wrote it (its columns in that release's order), read by this
// version: every field where it stored it, none taken from a neighbour.
void TestArchive::releasedArchiveReadsTheSame()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("lancado.sqlite");
    QString why;
    {
        const QStringList sql{
            "CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)",
            "INSERT INTO meta VALUES('schema_version','2')",
            "CREATE TABLE traces (hash TEXT PRIMARY KEY, size BIGINT, maker TEXT, model TEXT, "
            "serial TEXT, measured_at TEXT, cable TEXT, fiber TEXT, location_a TEXT, location_b "
            "TEXT, condition TEXT, wavelength_nm DOUBLE PRECISION, pulse_ns INTEGER, range_m "
            "DOUBLE PRECISION, length_m DOUBLE PRECISION, total_loss_db DOUBLE PRECISION, orl_db "
            "DOUBLE PRECISION, events INTEGER, checksum TEXT, verdict TEXT, damaged INTEGER, "
            "problem TEXT, search TEXT, added_at TEXT, band INTEGER)",
            "INSERT INTO traces VALUES('ba97',5367,'OTDR DE TESTE','SIM-OTDR','000001',"
            "'2026-11-20T09:00:00Z','CABO','F01','CENTRAL','CAIXA','BC',1310.0,100,"
            "2398.999550494336745,1999.991456523978286,1.1000000000000000888,32.0,3,'mismatch',"
            "'INDETERMINADO',1,'a soma de verificação não confere','','2026-12-10T04:40:00Z',1310)",
            "INSERT INTO traces VALUES('b834',8395,'gerador','SIM-OTDR','000002',"
            "'2026-11-20T09:00:00Z','CAB-X','F01','CENTRAL','POSTE','BC',1310.0,2000,"
            "31992.002172281481763,26000.001765420056472,11.406780470486918233,"
            "32.800183885617222756,0,'valid','REPROVADO',0,NULL,'','2026-12-10T04:40:00Z',1310)",
            "CREATE TABLE places (host TEXT, path TEXT, hash TEXT, size BIGINT, modified BIGINT, "
            "gone INTEGER DEFAULT 0, seen_at TEXT, PRIMARY KEY (host, path))",
            "INSERT INTO places VALUES('h','/campo/04.sor','ba97',5367,1796877000000,0,"
            "'2026-12-10T04:40:00Z')",
            "INSERT INTO places VALUES('h','/campo/b/1310.sor','b834',8395,1796877000000,0,"
            "'2026-12-10T04:40:00Z')",
            "INSERT INTO places VALUES('h','/campo/a/1310.sor','b834',8395,1796877000000,1,"
            "'2026-12-10T04:40:00Z')",
            "CREATE INDEX traces_fiber ON traces (fiber, cable)",
            "CREATE INDEX traces_cable ON traces (cable)",
            "CREATE INDEX places_hash ON places (hash)",
            "CREATE INDEX traces_band ON traces (fiber, band)"};
        QVERIFY2(writeDatabase(file, sql, &why), qPrintable(why));
    }
    const auto archive = Archive::Archive::open(file, &why, false);
    QVERIFY2(archive, qPrintable(why));
    QCOMPARE(archive->schemaVersion(), 2);
    const QVector<Archive::Record> found = archive->find({});
    QCOMPARE(found.size(), 2);
    // What 1.0.0's own build printed for this archive (otdr-sor archive find --csv).
    QCOMPARE(Archive::csv(found),
             QStringLiteral(
                 "hash,date,cable,fiber,location_a,location_b,wavelength_nm,condition,maker,"
                 "model,length_m,total_loss_db,orl_db,verdict,damaged,problem,gone,path\n"
                 "b834,2026-11-20T09:00:00Z,CAB-X,F01,CENTRAL,POSTE,1310.0,BC,gerador,SIM-OTDR,"
                 "26000.0,11.407,32.80,REPROVADO,0,,0,/campo/b/1310.sor\n"
                 "ba97,2026-11-20T09:00:00Z,CABO,F01,CENTRAL,CAIXA,1310.0,BC,OTDR DE TESTE,"
                 "SIM-OTDR,2000.0,1.100,32.00,INDETERMINADO,1,a soma de verificação não confere,"
                 "0,/campo/04.sor\n"));
    // And what only the JSON and the records say.
    const Archive::Record &b = found.at(0);
    QCOMPARE(b.size, 8395);
    QCOMPARE(b.serial, QStringLiteral("000002"));
    QCOMPARE(b.pulseNs, 2000);
    QCOMPARE(b.bandNm, 1310);
    QCOMPARE(b.events, 0);
    QCOMPARE(b.checksum, QStringLiteral("valid"));
    QVERIFY(b.rangeM && qAbs(*b.rangeM - 31992.002) < 0.001);
    QCOMPARE(b.places.size(), 2);
    QVERIFY(b.places.at(0).gone && !b.places.at(1).gone);
    const Archive::Record &a = found.at(1);
    QCOMPARE(a.size, 5367);
    QCOMPARE(a.pulseNs, 100);
    QCOMPARE(a.events, 3);
    QCOMPARE(a.checksum, QStringLiteral("mismatch"));
    QVERIFY(a.damaged);
    QCOMPARE(archive->history("F01", "CABO").size(), 1);
}

void TestArchive::badDatabases_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("says");
    QTest::newRow("a folder") << "folder"
                              << "é uma pasta";
    QTest::newRow("a read-only file") << "readonly"
                                      << "sem permissão de escrita";
    QTest::newRow("a file that is no archive") << "garbage"
                                               << "não é um arquivo de traços";
    QTest::newRow("a newer archive") << "newer"
                                     << "mais nova que esta";
    QTest::newRow("a server that does not answer") << "server"
                                                   << "o servidor não responde";
    QTest::newRow("an address that is no server's") << "address"
                                                    << "endereço inválido";
    QTest::newRow("a text") << "text"
                            << "não é um arquivo de traços (não é um banco de dados SQLite)";
    QTest::newRow("a read-only text")
        << "readonly text"
        << "não é um arquivo de traços (não é um banco de dados SQLite)";
    QTest::newRow("a trace") << "trace"
                             << "é um traço SOR, não um arquivo de traços";
    QTest::newRow("a read-only trace") << "readonly trace"
                                       << "é um traço SOR, não um arquivo de traços";
    QTest::newRow("a user the server does not know") << "user"
                                                     << "o servidor recusou o usuário ou a senha (";
    QTest::newRow("a database the server does not have") << "database"
                                                         << "o banco não existe no servidor (";
}

// A --db that cannot be an archive is refused in words, with the usage status.
void TestArchive::badDatabases()
{
    QFETCH(QString, what);
    QFETCH(QString, says);
    QTemporaryDir dir;
    QString db = dir.filePath("arquivo.sqlite");
    if (what == "folder") {
        db = dir.path();
    } else if (what == "readonly") {
        if (geteuid() == 0)
            QSKIP("root writes a read-only file anyway");
        QString why;
        QVERIFY(Archive::Archive::open(db, &why));
        QVERIFY(QFile::setPermissions(db, QFile::ReadOwner));
    } else if (what == "garbage") {
        save(db, QByteArray("isto não é um banco de dados, só texto\n").repeated(200));
    } else if (what == "newer") {
        QString why;
        QVERIFY(Archive::Archive::open(db, &why));
        {
            QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "raw");
            raw.setDatabaseName(db);
            QVERIFY(raw.open());
            QSqlQuery q(raw);
            QVERIFY(q.exec("UPDATE meta SET value = '99' WHERE key = 'schema_version'"));
        }
        QSqlDatabase::removeDatabase("raw");
    } else if (what == "server") {
        QTcpServer probe; // a port nothing listens on
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        db = QStringLiteral("postgresql://otdr@127.0.0.1:%1/arquivo").arg(port);
    } else if (what == "address") {
        db = "postgresql://";
    } else if (what.endsWith("text")) {
        save(db, "cabo ELM-MIL, fibras F01 a F12\n");
    } else if (what.endsWith("trace")) {
        db = dir.filePath("F07.sor");
        save(db, traceBytes("ELM-MIL", "F07", "ELM", 1550, "BC", 1700000000, 1));
    } else if (what == "user" || what == "database") {
        if (pgPort == 0)
            QSKIP(qPrintable(pgProblem));
        db = what == "user"
                 ? QStringLiteral("postgresql://ninguem@127.0.0.1:%1/postgres").arg(pgPort)
                 : QStringLiteral("postgresql://otdr@127.0.0.1:%1/nenhum").arg(pgPort);
    }
    if (what.startsWith("readonly "))
        QVERIFY(QFile::setPermissions(db, QFile::ReadOwner | QFile::ReadOther));
    // Each use of the archive, a search and an add, says the same.
    for (const QStringList &use : {QStringList{"find"}, QStringList{"add", dir.filePath("nada")}}) {
        QString out;
        QString err;
        QCOMPARE(runCapturing(QStringList{"archive"} + use + QStringList{"--db", db}, out, err), 2);
        QVERIFY2(err.contains(says), qPrintable(err));
        QVERIFY2(err.startsWith("otdr-sor: arquivo de traços: "), qPrintable(err));
    }
}

void TestArchive::notTraces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("named");
    QTest::addColumn<int>("traces");
    QTest::addColumn<int>("damaged");
    QTest::addColumn<QString>("says");
    QTest::newRow("a note named on the line")
        << "notas.txt"
        << "text" << true << 1 << 0 << "; 1 ignorado (não é um traço SOR)";
    QTest::newRow("a note under a trace's name in the folder")
        << "falso.sor"
        << "text" << false << 1 << 0 << "; 1 ignorado (não é um traço SOR)";
    QTest::newRow("a picture under a trace's name in the folder")
        << "foto.SOR"
        << "picture" << false << 1 << 0 << "; 1 ignorado (não é um traço SOR)";
    QTest::newRow("an empty file named on the line")
        << "vazio.txt"
        << "empty" << true << 1 << 0 << "; 1 ignorado (não é um traço SOR)";
    // Traces, damaged or not, whatever their names: kept.
    QTest::newRow("a cut trace in the folder") << "cortado.sor"
                                               << "cut" << false << 2 << 1 << "; 2 traços novos";
    QTest::newRow("an empty trace in the folder")
        << "vazio.sor"
        << "empty" << false << 2 << 1 << "; 2 traços novos";
    QTest::newRow("a trace under another name on the line")
        << "copia.txt"
        << "trace" << true << 2 << 0 << "; 2 traços novos";
}

// A file that is no SOR file at all is no trace: add leaves it out, names it and counts it; a cut
// or empty trace is still kept as damaged.
void TestArchive::notTraces()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, named);
    QFETCH(int, traces);
    QFETCH(int, damaged);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    const QString folder = dir.filePath("campo");
    save(folder + "/F01.sor", traceBytes("CB", "F01", "CENTRAL", 1550, "BC", 1790000000, 1));
    const QByteArray other = traceBytes("CB", "F02", "CENTRAL", 1550, "BC", 1790000100, 2);
    QByteArray bytes;
    if (kind == "text")
        bytes = "medições de ontem: F01 e F02, tudo certo\n";
    else if (kind == "picture")
        bytes = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") + QByteArray(200, '\0');
    else if (kind == "cut")
        bytes = other.left(other.size() / 2);
    else if (kind == "trace")
        bytes = other;
    const QString path = (named ? dir.path() : folder) + "/" + name;
    save(path, bytes);
    QString out;
    QString err;
    const QStringList given = named ? QStringList{folder, path} : QStringList{folder};
    QCOMPARE(runCapturing(QStringList{"archive", "add", "--db", db} + given, out, err), 0);
    QVERIFY2(out.startsWith("2 arquivos: 2 lidos"), qPrintable(out));
    QVERIFY2(out.contains(says), qPrintable(out));
    QVERIFY2(out.contains(damaged == 1 ? "1 danificado;" : "0 danificados;"), qPrintable(out));
    const bool skipped = traces == 1;
    QCOMPARE(err.contains(path + ": não é um traço SOR; ignorado"), skipped);
    QCOMPARE(runCapturing({"archive", "find", "--db", db, "--json"}, out, err), 0);
    const QJsonArray found
        = QJsonDocument::fromJson(out.toUtf8()).object().value("traces").toArray();
    QCOMPARE(found.size(), traces);
    QCOMPARE(out.contains(name), !skipped);
}

void TestArchive::summaryWords_data()
{
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("cut");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("again");
    QTest::newRow("one of each")
        << 1 << 1 << 1
        << "1 arquivo: 1 lido, 0 sem mudança; 1 traço novo, 0 cópias ou mudanças de lugar, 0 "
           "danificados; 0 sumiram"
        << "3 arquivos: 2 lidos, 1 sem mudança; 1 traço novo, 1 cópia ou mudança de lugar, 1 "
           "danificado; 1 sumiu";
    QTest::newRow("two of each")
        << 2 << 2 << 2
        << "1 arquivo: 1 lido, 0 sem mudança; 1 traço novo, 0 cópias ou mudanças de lugar, 0 "
           "danificados; 0 sumiram"
        << "5 arquivos: 4 lidos, 1 sem mudança; 2 traços novos, 2 cópias ou mudanças de lugar, 2 "
           "danificados; 2 sumiram";
}

// The add's line counts in Portuguese: one in the singular, others in the plural.
void TestArchive::summaryWords()
{
    QFETCH(int, copies);
    QFETCH(int, cut);
    QFETCH(int, deleted);
    QFETCH(QString, first);
    QFETCH(QString, again);
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    const QString folder = dir.filePath("campo");
    const QByteArray kept = traceBytes("CB", "F01", "CENTRAL", 1550, "BC", 1790000000, 1);
    save(folder + "/F01.sor", kept);
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, folder + "/F01.sor"}, out, err), 0);
    QCOMPARE(out.trimmed(), first);
    // Traces that then leave the folder; copies of the first; cut traces.
    for (int i = 0; i < deleted; ++i)
        save(QStringLiteral("%1/velho/G%2.sor").arg(folder).arg(i),
             traceBytes("CB", "G", "CENTRAL", 1550, "BC", 1790000000, quint32(10 + i)));
    QCOMPARE(runCapturing({"archive", "add", "--db", db, folder}, out, err), 0);
    QVERIFY(QDir(folder + "/velho").removeRecursively());
    for (int i = 0; i < copies; ++i)
        save(QStringLiteral("%1/F01 (%2).sor").arg(folder).arg(i + 1), kept);
    for (int i = 0; i < cut; ++i) {
        const QByteArray whole
            = traceBytes("CB", "F09", "CENTRAL", 1550, "BC", 1790000000 + quint32(i), 20);
        save(QStringLiteral("%1/cortado%2.sor").arg(folder).arg(i), whole.left(whole.size() / 2));
    }
    QCOMPARE(runCapturing({"archive", "add", "--db", db, folder}, out, err), 0);
    QCOMPARE(out.trimmed(), again);
}

void TestArchive::noBaseline_data()
{
    QTest::addColumn<QByteArray>("fiber");
    QTest::addColumn<quint32>("when");
    QTest::addColumn<QString>("says");
    QTest::newRow("a fibre the archive does not know")
        << QByteArray("F99") << 1780000000u << "nenhum outro traço da fibra F99";
    QTest::newRow("the fibre's first measurement")
        << QByteArray("F07") << 1600000000u << "é o mais antigo";
    QTest::newRow("a trace that names no fibre")
        << QByteArray() << 1780000000u << "o traço não diz de que fibra é";
}

// A trace with no as-built in the archive: archive baseline and compare --baseline auto refuse it
// alike, with the same words and status.
void TestArchive::noBaseline()
{
    QFETCH(QByteArray, fiber);
    QFETCH(quint32, when);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    save(dir.filePath("traces/F07.sor"),
         traceBytes("ELM-MIL", "F07", "ELM", 1550, "BC", 1700000000, 1));
    const QString now = dir.filePath("agora.sor");
    save(now, traceBytes("ELM-MIL", fiber, "ELM", 1550, "CC", when, 2));
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, dir.filePath("traces")}, out, err), 0);
    QCOMPARE(runCapturing({"archive", "baseline", now, "--db", db}, out, err), 2);
    QVERIFY2(err.contains(says), qPrintable(err));
    const QString baselineSays = err;
    QCOMPARE(runCapturing({"compare", "--baseline", "auto", now, "--db", db}, out, err), 2);
    QCOMPARE(err, baselineSays);
}

void TestArchive::conditions_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("found");
    QTest::newRow("BC") << "BC" << 0 << 1;
    QTest::newRow("bc, as typed") << "bc" << 0 << 1;
    QTest::newRow("Cc, as typed") << "Cc" << 0 << 1;
    QTest::newRow("RC, none of them") << "RC" << 0 << 0;
    QTest::newRow("OT, none of them") << "ot" << 0 << 0;
    QTest::newRow("XX") << "XX" << 2 << 0;
    QTest::newRow("as-built in words") << "as-built" << 2 << 0;
    QTest::newRow("nothing") << "" << 2 << 0;
}

// Only the build conditions a trace can carry are searched for, in either case; another is
// refused with the list.
void TestArchive::conditions()
{
    QFETCH(QString, condition);
    QFETCH(int, status);
    QFETCH(int, found);
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    save(dir.filePath("traces/F07.sor"),
         traceBytes("ELM-MIL", "F07", "ELM", 1550, "BC", 1700000000, 1));
    save(dir.filePath("traces/F07-2026.sor"),
         traceBytes("ELM-MIL", "F07", "ELM", 1550, "CC", 1780000000, 2));
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, dir.filePath("traces")}, out, err), 0);
    QCOMPARE(
        runCapturing({"archive", "find", "--db", db, "--json", "--condition", condition}, out, err),
        status);
    if (status != 0) {
        QVERIFY2(err.contains("condição desconhecida: " + condition), qPrintable(err));
        QVERIFY2(err.contains("BC, CC, RC e OT"), qPrintable(err));
        QVERIFY2(out.isEmpty(), qPrintable(out));
        return;
    }
    QCOMPARE(QJsonDocument::fromJson(out.toUtf8()).object().value("traces").toArray().size(),
             found);
}

void TestArchive::databaseWords_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("says");
    QTest::newRow("SQLite busy") << false << "5"
                                 << "database is locked"
                                 << "o arquivo de traços está ocupado por outro programa";
    QTest::newRow("SQLite busy, extended code")
        << false << "517"
        << "database is locked"
        << "o arquivo de traços está ocupado por outro programa";
    QTest::newRow("SQLite locked") << false << "6"
                                   << "database table is locked"
                                   << "o arquivo de traços está ocupado por outro programa";
    QTest::newRow("SQLite read-only") << false << "8"
                                      << "attempt to write a readonly database"
                                      << "o arquivo de traços só pode ser lido";
    QTest::newRow("SQLite disk full") << false << "13"
                                      << "database or disk is full"
                                      << "o disco está cheio";
    QTest::newRow("SQLite cannot open") << false << "14"
                                        << "unable to open database file"
                                        << "não foi possível abrir o arquivo";
    QTest::newRow("SQLite, no code") << false << ""
                                     << "database is locked"
                                     << "o arquivo de traços está ocupado por outro programa";
    QTest::newRow("SQLite, another problem") << false << "1"
                                             << "no such table: traces"
                                             << "a consulta falhou";
    QTest::newRow("server refused the connection")
        << true << ""
        << "connection to server at \"10.0.0.9\", port 5432 failed: Connection refused"
        << "o servidor não responde";
    QTest::newRow("server timed out") << true << ""
                                      << "timeout expired"
                                      << "o servidor não responde";
    QTest::newRow("server unknown host") << true << ""
                                         << "could not translate host name \"servidor\" to address"
                                         << "o servidor não responde";
    QTest::newRow("wrong password") << true << ""
                                    << "FATAL:  password authentication failed for user \"tecnico\""
                                    << "o servidor recusou o usuário ou a senha";
    QTest::newRow("wrong password, by its code") << true << "28P01"
                                                 << "FATAL: autenticação"
                                                 << "o servidor recusou o usuário ou a senha";
    QTest::newRow("server disk full") << true << "53100"
                                      << "could not extend file"
                                      << "o disco do servidor está cheio";
    QTest::newRow("server busy") << true << "55P03"
                                 << "could not obtain lock on row"
                                 << "o arquivo de traços está ocupado por outro programa";
    QTest::newRow("server read-only") << true << "25006"
                                      << "cannot execute INSERT in a read-only transaction"
                                      << "este usuário não tem permissão de escrita no banco";
    QTest::newRow("server, no permission") << true << "42501"
                                           << "permission denied for table traces"
                                           << "este usuário não tem permissão de escrita no banco";
    QTest::newRow("server, another problem") << true << "42P01"
                                             << "relation \"traces\" does not exist"
                                             << "a consulta falhou";
}

// The database's common problems said in Portuguese, the driver's words kept after them.
void TestArchive::databaseWords()
{
    QFETCH(bool, server);
    QFETCH(QString, code);
    QFETCH(QString, text);
    QFETCH(QString, says);
    const QSqlError error(QString(), text, QSqlError::StatementError, code);
    const QString said = Archive::databaseProblem(error, server, "a consulta falhou");
    QVERIFY2(said.startsWith(says), qPrintable(said));
    QVERIFY2(said.endsWith(" (" + text.simplified() + ")"), qPrintable(said));
}

void TestArchive::verdicts_data()
{
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("found");
    QTest::newRow("APROVADO") << "APROVADO" << 0 << 1;
    QTest::newRow("reprovado, as typed") << "reprovado" << 0 << 1;
    QTest::newRow("INDETERMINADO, none of them") << "Indeterminado" << 0 << 0;
    QTest::newRow("sem limites, none of them") << "sem limites" << 0 << 0;
    QTest::newRow("XYZ") << "XYZ" << 2 << 0;
    QTest::newRow("the table's danificado is no verdict") << "danificado" << 2 << 0;
    QTest::newRow("in English") << "PASS" << 2 << 0;
    QTest::newRow("nothing") << "" << 2 << 0;
}

// Only the verdicts add stores are searched for, in either case; another is refused with the
// list rather than finding nothing.
void TestArchive::verdicts()
{
    QFETCH(QString, verdict);
    QFETCH(int, status);
    QFETCH(int, found);
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    // One trace passes the generic limits; the other, added under a splice limit below its
    // 0,1 dB step, fails.
    save(dir.filePath("passes/F07.sor"),
         traceBytes("ELM-MIL", "F07", "ELM", 1550, "BC", 1700000000, 1));
    save(dir.filePath("fails/F08.sor"),
         traceBytes("ELM-MIL", "F08", "ELM", 1550, "BC", 1700000000, 2));
    save(dir.filePath("strict.json"), R"({"name": "rigoroso", "splice_loss_max_db": 0.05})");
    QString out;
    QString err;
    QCOMPARE(
        runCapturing(
            {"archive", "add", "--db", db, dir.filePath("passes"), "--preset", "monomodo-generico"},
            out,
            err),
        0);
    QCOMPARE(runCapturing({"archive",
                           "add",
                           "--db",
                           db,
                           dir.filePath("fails"),
                           "--limits",
                           dir.filePath("strict.json")},
                          out,
                          err),
             0);
    QCOMPARE(
        runCapturing({"archive", "find", "--db", db, "--json", "--verdict", verdict}, out, err),
        status);
    if (status != 0) {
        QCOMPARE(err,
                 QStringLiteral("otdr-sor: archive: veredito desconhecido: %1 (os vereditos são "
                                "APROVADO, REPROVADO, INDETERMINADO e SEM LIMITES)\n")
                     .arg(verdict));
        QVERIFY2(out.isEmpty(), qPrintable(out));
        return;
    }
    QCOMPARE(QJsonDocument::fromJson(out.toUtf8()).object().value("traces").toArray().size(),
             found);
}

void TestArchive::tableAligned_data()
{
    QTest::addColumn<QByteArray>("cable");
    QTest::addColumn<QByteArray>("fiber");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QString>("folder");
    QTest::newRow("short labels") << QByteArray("CB-1") << QByteArray("F01")
                                  << QByteArray("CENTRAL") << "t";
    QTest::newRow("a long cable id") << QByteArray("BACKBONE-NORTE-ESTACAO-CENTRAL-2024")
                                     << QByteArray("F01") << QByteArray("CENTRAL") << "t";
    QTest::newRow("a long fibre id")
        << QByteArray("CB-1") << QByteArray("FIBRA-0001-TUBO-AZUL") << QByteArray("CENTRAL") << "t";
    QTest::newRow("a long end") << QByteArray("CB-1") << QByteArray("F01")
                                << QByteArray("ESTACAO-TELEFONICA-CENTRO") << "t";
    QTest::newRow("a long path") << QByteArray("CB-1") << QByteArray("F01") << QByteArray("CENTRAL")
                                 << "uma pasta de nome muito comprido/e outra mais";
}

// Every line of the terminal's table has its columns where the heading has them, however long
// a label: a band right-aligned under "λ (nm)", the path under "Arquivo".
void TestArchive::tableAligned()
{
    QFETCH(QByteArray, cable);
    QFETCH(QByteArray, fiber);
    QFETCH(QByteArray, from);
    QFETCH(QString, folder);
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    // The long labels on one trace, short ones on the other, so that each column's width differs
    // from one line to the next unless the table widens it for all.
    save(dir.filePath(folder + "/a.sor"),
         traceBytes(cable, fiber, from, 1550, "BC", 1700000000, 1));
    save(dir.filePath("t/b.sor"), traceBytes("C", "F", "X", 1310, "CC", 1700000100, 2));
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, dir.path()}, out, err), 0);
    QCOMPARE(runCapturing({"archive", "find", "--db", db}, out, err), 0);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.last(), QStringLiteral("2 traços"));
    const QString heading = lines.first();
    const int bandEnd = int(heading.indexOf(QStringLiteral("λ (nm)")) + 6);
    const int pathAt = int(heading.indexOf(QStringLiteral("Arquivo")));
    const int cableAt = int(heading.indexOf(QStringLiteral("Cabo")));
    const int fiberAt = int(heading.indexOf(QStringLiteral("Fibra")));
    QVERIFY(bandEnd > 6 && pathAt > bandEnd && fiberAt > cableAt);
    for (const QString &line : lines.mid(1, 2)) {
        const bool longOne = line.contains(QString::fromLatin1(cable));
        QVERIFY2(line.mid(bandEnd - 4, 4) == (longOne ? "1550" : "1310"),
                 qPrintable(heading + "\n" + line));
        QVERIFY2(line.mid(pathAt).startsWith(dir.path()), qPrintable(heading + "\n" + line));
        QVERIFY2(line.mid(cableAt).startsWith(longOne ? QString::fromLatin1(cable) : "C "),
                 qPrintable(heading + "\n" + line));
        QVERIFY2(line.mid(fiberAt).startsWith(longOne ? QString::fromLatin1(fiber) : "F "),
                 qPrintable(heading + "\n" + line));
        // A column is apart from the next by a space at least.
        QCOMPARE(line.at(fiberAt - 1), QLatin1Char(' '));
    }
}

void TestArchive::copiesStillThere_data()
{
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<QString>("says");
    QTest::newRow("two, one deleted") << 2 << 1 << "";
    QTest::newRow("three, one deleted") << 3 << 1 << " (+1 cópia)";
    QTest::newRow("three, none deleted") << 3 << 0 << " (+2 cópias)";
    QTest::newRow("two, both deleted") << 2 << 2 << " (sumiu)";
}

// The table counts the copies of a trace that add still finds, not those it found gone.
void TestArchive::copiesStillThere()
{
    QFETCH(int, copies);
    QFETCH(int, deleted);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString db = dir.filePath("arquivo.sqlite");
    const QByteArray bytes = traceBytes("CB-1", "F01", "CENTRAL", 1550, "BC", 1700000000, 1);
    const QString folder = dir.filePath("traces");
    for (int i = 0; i < copies; ++i)
        save(QStringLiteral("%1/copia%2.sor").arg(folder).arg(i), bytes);
    QString out;
    QString err;
    QCOMPARE(runCapturing({"archive", "add", "--db", db, folder}, out, err), 0);
    for (int i = 0; i < deleted; ++i)
        QVERIFY(QFile::remove(QStringLiteral("%1/copia%2.sor").arg(folder).arg(copies - 1 - i)));
    QCOMPARE(runCapturing({"archive", "add", "--db", db, folder}, out, err), 0);
    QVERIFY2(
        out.endsWith(QStringLiteral("; %1\n").arg(
            deleted == 1 ? QStringLiteral("1 sumiu") : QStringLiteral("%1 sumiram").arg(deleted))),
        qPrintable(out));
    QCOMPARE(runCapturing({"archive", "find", "--db", db}, out, err), 0);
    const QString row = out.section('\n', 1, 1);
    QVERIFY2(row.endsWith(folder + "/copia0.sor" + says), qPrintable(out));
}

QTEST_MAIN(TestArchive)
#include "tst_archive.moc"
