#include "cable/cablexlsx.h"
#include "command.h"
#include "sor/sorreader.h"
#include "sortool.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QCommandLineParser>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

// Every command of otdr-sor and every output it offers, run through the built program as a
// user runs it (another process, no display, no Qt variables set), each output read back and
// checked for what its name says; and every command given what is no trace.
class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyCommandAndOutputListed();
    void drawingCommands();
    void outputs_data();
    void outputs();
    void wrongInput_data();
    void wrongInput();
    void wrongOptions_data();
    void wrongOptions();
    void csvFollowsLocale_data();
    void csvFollowsLocale();

private:
    struct Result
    {
        QProcess::ExitStatus status = QProcess::CrashExit;
        int exit = -1;
        QString out;
        QString err;
    };
    // In the locale given (LC_ALL), by default one with a decimal point.
    Result run(const QStringList &arguments,
               const QString &locale = QStringLiteral("C.UTF-8")) const;
    QString write(const QString &name, const QByteArray &bytes) const;

    QTemporaryDir dir;
};

namespace {

// One run of a command and what its output must be.
struct Row
{
    QString name;
    QStringList arguments; // "@" stands for the test's folder
    QString kind;          // json, csv, text, pdf, png, svg, sor, xlsx, kml, geojson, db
    QString file;          // the output written, under the folder; empty: standard output
    QStringList expected;  // keys (JSON), words (text, PDF, CSV's header), sheets (XLSX)
};

// One fibre's shots at three pulses and two wavelengths, from one end.
const QStringList shots{"@/shots/1310_20ns.sor",
                        "@/shots/1310_200ns.sor",
                        "@/shots/1310_2000ns.sor",
                        "@/shots/1550_20ns.sor",
                        "@/shots/1550_200ns.sor",
                        "@/shots/1550_2000ns.sor"};

QVector<Row> table()
{
    const QStringList mustHave{"version", "events", "checksum", "points"};
    return {
        {"check", {"check", "@/a.sor", "--preset", "monomodo-generico"}, "text", "", {"íntegro"}},
        {"info",
         {"info", "@/a.sor", "--preset", "monomodo-generico"},
         "text",
         "",
         {"veredito (monomodo-generico): APROVADO"}},
        {"export --json", {"export", "--json", "--points", "@/a.sor"}, "json", "", mustHave},
        {"export --csv", {"export", "--csv", "@/a.sor"}, "csv", "", {"distance_m", "level_db"}},
        {"plot -o png",
         {"plot", "@/a.sor", "@/b.sor", "-o", "@/plot.png"},
         "png",
         "plot.png",
         {"1600x900"}},
        {"plot -o svg", {"plot", "@/a.sor", "-o", "@/plot.svg"}, "svg", "plot.svg", {"a.sor"}},
        {"analyze --json",
         {"analyze", "--json", "@/a.sor"},
         "json",
         "",
         {"fiber_end_m", "total_loss_db", "events", "thresholds"}},
        {"report -o pdf --csv",
         {"report",
          "@/a.sor",
          "@/b.sor",
          "-o",
          "@/relatorio.pdf",
          "--csv",
          "@/resumo.csv",
          "--preset",
          "monomodo-generico",
          "--route",
          "@/rota.csv"},
         "pdf",
         "relatorio.pdf",
         {"APROVADO", "a.sor", "b.sor"}},
        {"report --csv", {}, "csv", "resumo.csv", {"a.sor"}},
        {"bidir --json",
         {"bidir", "@/a.sor", "@/b.sor", "--json"},
         "json",
         "",
         {"pairing", "events"}},
        {"bends --json",
         {"bends", "@/1310-ab.sor", "@/1550-ab.sor", "--json"},
         "json",
         "",
         {"bends"}},
        {"edit -o sor",
         {"edit", "@/a.sor", "--cable", "CB-99", "-o", "@/editado.sor"},
         "sor",
         "editado.sor",
         {"CB-99"}},
        {"cable --json",
         {"cable", "@/cabo", "--json"},
         "json",
         "",
         {"fibres", "closures", "matrix", "checks"}},
        {"cable --csv", {"cable", "@/cabo", "--csv"}, "csv", "", {"F01"}},
        {"cable --xlsx -o pdf",
         {"cable",
          "@/cabo",
          "--xlsx",
          "@/cabo.xlsx",
          "-o",
          "@/cabo.pdf",
          "--preset",
          "monomodo-generico",
          "--route",
          "@/rota.csv"},
         "pdf",
         "cabo.pdf",
         {"F01", "F02", "F03"}},
        {"cable --xlsx", {}, "xlsx", "cabo.xlsx", {"Fibras"}},
        {"locate --json --kml --geojson",
         {"locate",
          "@/a.sor",
          "--route",
          "@/rota.csv",
          "--json",
          "--kml",
          "@/mapa.kml",
          "--geojson",
          "@/mapa.geojson"},
         "json",
         "",
         {"route", "route_read_as", "traces"}},
        {"locate --kml", {}, "kml", "mapa.kml", {"CEO-1", "evento 3"}},
        {"locate --geojson", {}, "geojson", "mapa.geojson", {"CEO-1", "evento 3"}},
        {"link --json",
         QStringList{"link"} + shots + QStringList{"--json"},
         "json",
         "",
         {"verdict", "reasons"}},
        {"link --csv",
         QStringList{"link"} + shots + QStringList{"--csv"},
         "csv",
         "",
         {"evento,distancia_km"}},
        {"link -o png",
         QStringList{"link"} + shots + QStringList{"-o", "@/enlace.png"},
         "png",
         "enlace.png",
         {}},
        {"compare --json",
         {"compare", "@/base.sor", "@/agora.sor", "--json"},
         "json",
         "",
         {"verdict", "changes", "same_points"}},
        {"compare -o pdf",
         {"compare", "@/base.sor", "@/agora.sor", "-o", "@/mudancas.pdf"},
         "pdf",
         "mudancas.pdf",
         {"Veredito", "mudou"}},
#ifdef OTDR_HAVE_ARCHIVE
        {"archive add --db",
         {"archive", "add", "@/cabo", "@/base.sor", "--db", "@/arquivo.sqlite"},
         "db",
         "arquivo.sqlite",
         {}},
        {"archive find --json",
         {"archive", "find", "--db", "@/arquivo.sqlite", "--json"},
         "json",
         "",
         {"traces"}},
        {"archive find --csv",
         {"archive", "find", "--db", "@/arquivo.sqlite", "--csv", "--fiber", "F02"},
         "csv",
         "",
         {"F02"}},
        {"archive history --json",
         {"archive", "history", "F01", "--db", "@/arquivo.sqlite", "--json"},
         "json",
         "",
         {"traces"}},
        {"archive baseline --json",
         {"archive", "baseline", "@/agora.sor", "--db", "@/arquivo.sqlite", "--json"},
         "json",
         "",
         {"hash", "date", "fiber"}},
        {"compare --baseline auto --db",
         {"compare", "--baseline", "auto", "@/agora.sor", "--db", "@/arquivo.sqlite", "--json"},
         "json",
         "",
         {"verdict", "changes"}},
        {"cable --baseline auto --db",
         {"cable", "@/cabo2", "--baseline", "auto", "--db", "@/arquivo.sqlite", "--json"},
         "json",
         "",
         {"baseline", "matrix"}},
#endif
    };
}

// The outputs a command's help offers, as a user would ask for them.
const QStringList OutputOptions{
    "--json", "--csv", "--output", "--xlsx", "--kml", "--geojson", "--db"};

// Each command given something that is no trace where it wants one ("%1").
QMap<QString, QStringList> wrongInputUse()
{
    return {
        {"check", {"check", "%1"}},
        {"info", {"info", "%1"}},
        {"export", {"export", "--json", "%1"}},
        {"plot", {"plot", "%1", "-o", "@/nada.png"}},
        {"analyze", {"analyze", "%1"}},
        {"report", {"report", "%1", "-o", "@/nada.pdf"}},
        {"bidir", {"bidir", "%1", "@/b.sor"}},
        {"bends", {"bends", "@/1310-ab.sor", "%1"}},
        {"link", {"link", "%1", "@/shots/1550_200ns.sor"}},
        {"edit", {"edit", "%1", "--cable", "X", "-o", "@/nada.sor"}},
        {"cable", {"cable", "%1"}},
        {"locate", {"locate", "%1", "--route", "@/rota.csv"}},
        {"locate --route", {"locate", "@/a.sor", "--route", "%1"}},
        {"compare", {"compare", "@/base.sor", "%1"}},
        {"compare -o", {"compare", "%1", "@/agora.sor", "-o", "@/nada.pdf"}},
        {"archive", {"archive", "baseline", "%1", "--db", "@/arquivo.sqlite"}},
        {"archive --db", {"archive", "find", "--db", "%1"}},
    };
}

QStringList placed(const QStringList &arguments, const QString &folder)
{
    QStringList out;
    for (QString a : arguments)
        out << a.replace(QLatin1Char('@'), folder);
    return out;
}

QString pdfText(const QString &path)
{
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!text.waitForFinished(60000))
        return QString();
    return QString::fromUtf8(text.readAllStandardOutput());
}

} // namespace

TestCommands::Result TestCommands::run(const QStringList &arguments, const QString &locale) const
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), locale);
    // As a user's shell starts it: no display chosen for it.
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(dir.path());
    tool.start(QStringLiteral(OTDR_SOR), arguments);
    Result r;
    if (!tool.waitForFinished(100000)) {
        tool.kill();
        tool.waitForFinished();
        r.err = QStringLiteral("no answer in 100 s");
        return r;
    }
    r.status = tool.exitStatus();
    r.exit = tool.exitCode();
    r.out = QString::fromUtf8(tool.readAllStandardOutput());
    r.err = QString::fromUtf8(tool.readAllStandardError());
    return r;
}

QString TestCommands::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(dir.filePath(name));
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

void TestCommands::initTestCase()
{
    QVERIFY(dir.isValid());
    // Kept to look at when asked.
    dir.setAutoRemove(!qEnvironmentVariableIsSet("OTDR_KEEP_TEST_FILES"));
    using SorWriter::TrueEvent;
    // One fibre of a cable from both ends, and the cable's three fibres in a folder.
    const SorWriter::CableEnds one = SorWriter::cableFibre(1);
    write("a.sor", SorWriter::write(one.a));
    write("b.sor", SorWriter::write(one.b));
    for (int i = 1; i <= 3; ++i) {
        const SorWriter::CableEnds f = SorWriter::cableFibre(i);
        write(QStringLiteral("cabo/F0%1_a.sor").arg(i), SorWriter::write(f.a));
        write(QStringLiteral("cabo/F0%1_b.sor").arg(i), SorWriter::write(f.b));
        // The same cable measured again a year later, to compare with the archive's as-built.
        SorWriter::CableEnds later = f;
        for (SorWriter::Trace *t : {&later.a, &later.b}) {
            t->dateTime += 365 * 86400;
            t->buildCondition = "CC";
        }
        write(QStringLiteral("cabo2/F0%1_a.sor").arg(i), SorWriter::write(later.a));
        write(QStringLiteral("cabo2/F0%1_b.sor").arg(i), SorWriter::write(later.b));
    }
    for (const SorWriter::Case &c : SorWriter::twoEndedSamples())
        write(c.name, SorWriter::write(c.trace));
    for (const SorWriter::PulseShot &s : SorWriter::multiPulseShots())
        write(QStringLiteral("shots/") + s.name, SorWriter::write(s.trace));
    // A fibre as built and measured again later, a splice worse by 0.4 dB.
    SorWriter::Simulation built;
    built.spacingM = 2;
    built.points = 12000;
    built.pulseNs = 300;
    built.launchSnrDb = 36;
    built.events = {{TrueEvent::Step, 4000, 0.12},
                    {TrueEvent::Step, 9000, 0.08},
                    {TrueEvent::Reflection, 12000, 0.35, -50},
                    {TrueEvent::End, 20000, 0, -14}};
    SorWriter::Trace base = SorWriter::simulatedTrace(built, true);
    base.fiberId = "F09";
    write("base.sor", SorWriter::write(base));
    SorWriter::Simulation later = built;
    later.seed = 2;
    later.events[1].lossDb = 0.48;
    SorWriter::Trace now = SorWriter::simulatedTrace(later, true);
    now.fiberId = "F09";
    now.buildCondition = "CC";
    now.dateTime += 86400 * 400;
    write("agora.sor", SorWriter::write(now));
    // The cable's route, as a spreadsheet saves it: its closures where the fibres' splices are.
    write("rota.csv",
          "nome;tipo;distancia_m;lat;lon;reserva_m\n"
          "CENTRAL;origem;0;-23,5000;-46,6000;0\n"
          "CEO-1;emenda;5900;-23,4470;-46,6000;20\n"
          "CEO-2;emenda;13850;-23,3750;-46,6000;20\n"
          "P-20;poste;19800;-23,3220;-46,6000;0\n"
          "POSTE;caixa;27700;-23,2510;-46,6000;0\n");
    // What is no trace: an empty file, a text, a cut trace, a folder, a path that is not there.
    write("ruim/vazio.sor", QByteArray());
    write("ruim/texto.sor", "isto não é um traço\n");
    write("ruim/cortado.sor", SorWriter::write(one.a).left(3000));
    QDir(dir.path()).mkpath(QStringLiteral("ruim/pasta.sor"));
}

// The table names every command the program has and every output each one's help offers:
// a command or an output added later without a row here fails.
void TestCommands::everyCommandAndOutputListed()
{
    const QVector<Row> rows = table();
    const QMap<QString, QStringList> wrong = wrongInputUse();
    for (const Command &command : commands()) {
        const QString name = command.name();
        QVERIFY2(wrong.contains(name), qPrintable(name + ": no wrong-input row"));
        QCommandLineParser parser;
        command.describe(parser);
        const QString help = parser.helpText();
        for (const QString &option : OutputOptions) {
            if (!help.contains(option + QLatin1Char(' '))
                && !help.contains(option + QLatin1Char('\n')))
                continue;
            const QString asked
                = option == QLatin1String("--output") ? QStringLiteral("-o") : option;
            const bool tried = std::any_of(rows.cbegin(), rows.cend(), [&](const Row &r) {
                return r.arguments.value(0) == name && r.arguments.contains(asked);
            });
            QVERIFY2(tried, qPrintable(QStringLiteral("%1 %2 is never run").arg(name, asked)));
        }
        const bool anyRow = std::any_of(
            rows.cbegin(), rows.cend(), [&](const Row &r) { return r.arguments.value(0) == name; });
        QVERIFY2(anyRow, qPrintable(name + ": never run"));
    }
}

// Which runs start the GUI application their fonts need: any that names a picture or a
// document with -o, however the option is written; not a trace written by edit.
void TestCommands::drawingCommands()
{
    QVERIFY(sorToolDraws({"otdr-sor", "compare", "a.sor", "b.sor", "-o", "x.pdf"}));
    QVERIFY(sorToolDraws({"otdr-sor", "cable", "pasta", "--output=x.pdf"}));
    QVERIFY(sorToolDraws({"otdr-sor", "plot", "a.sor", "-ox.png"}));
    QVERIFY(sorToolDraws({"otdr-sor", "report", "a.sor", "--output", "r.pdf"}));
    QVERIFY(!sorToolDraws({"otdr-sor", "edit", "a.sor", "--cable", "X", "-o", "b.sor"}));
    QVERIFY(!sorToolDraws({"otdr-sor", "compare", "a.sor", "b.sor", "--json"}));
    QVERIFY(!sorToolDraws({"otdr-sor", "check", "a.sor"}));
    QVERIFY(!sorToolDraws({"otdr-sor", "nada", "-o", "x.pdf"}));
}

void TestCommands::outputs_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected");
    for (const Row &r : table())
        QTest::newRow(qPrintable(r.name)) << r.arguments << r.kind << r.file << r.expected;
}

// Rows without arguments read what the row before them wrote.
void TestCommands::outputs()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(QStringList, expected);
    static Result last;
    if (!arguments.isEmpty()) {
        if (!file.isEmpty())
            QFile::remove(dir.filePath(file));
        last = run(placed(arguments, dir.path()));
    }
    const Result &r = last;
    const QString said = r.out.left(2000) + QStringLiteral("\n--- stderr:\n") + r.err.left(2000);
    QVERIFY2(r.status == QProcess::NormalExit, qPrintable(said));
    QVERIFY2(r.exit == 0 || r.exit == 1, qPrintable(QString::number(r.exit) + ": " + said));
    const QString path = dir.filePath(file);
    QByteArray bytes;
    if (!file.isEmpty()) {
        QFile f(path);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(file + " not written: " + said));
        bytes = f.readAll();
        QVERIFY2(!bytes.isEmpty(), qPrintable(file + " is empty"));
    } else {
        bytes = r.out.toUtf8();
    }
    if (kind == QLatin1String("json") || kind == QLatin1String("geojson")) {
        QJsonParseError error;
        const QJsonDocument json = QJsonDocument::fromJson(bytes, &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(said));
        if (kind == QLatin1String("geojson")) {
            QCOMPARE(json.object().value("type").toString(), QStringLiteral("FeatureCollection"));
            QVERIFY(!json.object().value("features").toArray().isEmpty());
            for (const QString &word : expected)
                QVERIFY2(bytes.contains(word.toUtf8()), qPrintable(word));
            return;
        }
        // One object, or (for several files) each of an array's.
        const QJsonObject object = json.isArray() ? json.array().first().toObject() : json.object();
        for (const QString &key : expected)
            QVERIFY2(object.contains(key), qPrintable(key + " missing in " + said));
    } else if (kind == QLatin1String("csv")) {
        const QStringList lines = QString::fromUtf8(bytes).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 2, qPrintable(said));
        for (const QString &word : expected)
            QVERIFY2(bytes.contains(word.toUtf8()), qPrintable(word + " missing in " + said));
    } else if (kind == QLatin1String("text")) {
        for (const QString &word : expected)
            QVERIFY2(r.out.contains(word), qPrintable(word + " missing in " + said));
    } else if (kind == QLatin1String("pdf")) {
        QVERIFY(bytes.startsWith("%PDF"));
        const QString text = pdfText(path);
        for (const QString &word : expected)
            QVERIFY2(text.contains(word),
                     qPrintable(word + " missing in the PDF:\n" + text.left(3000)));
    } else if (kind == QLatin1String("png")) {
        const QImage image(path);
        QVERIFY(!image.isNull() && image.width() >= 200 && image.height() >= 100);
        if (!expected.isEmpty())
            QCOMPARE(QStringLiteral("%1x%2").arg(image.width()).arg(image.height()),
                     expected.first());
    } else if (kind == QLatin1String("svg") || kind == QLatin1String("kml")) {
        QXmlStreamReader xml(bytes);
        int elements = 0;
        while (!xml.atEnd())
            elements += xml.readNext() == QXmlStreamReader::StartElement ? 1 : 0;
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(elements > 10);
        QVERIFY(bytes.contains(kind == QLatin1String("svg") ? "<svg" : "<Placemark"));
        for (const QString &word : expected)
            QVERIFY2(bytes.contains(word.toUtf8()), qPrintable(word));
    } else if (kind == QLatin1String("sor")) {
        const Sor::Trace t = Sor::read(bytes);
        QVERIFY(!t.damaged());
        QCOMPARE(t.general->cableId, expected.value(0));
    } else if (kind == QLatin1String("xlsx")) {
        if (!Cable::xlsxAvailable())
            QSKIP("built without libxlsxwriter");
        // Debian's own Python, where python3-openpyxl is.
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sys, openpyxl\n"
                                     "book = openpyxl.load_workbook(sys.argv[1])\n"
                                     "for sheet in book.worksheets:\n"
                                     "    print(sheet.title, sheet.max_row, sheet.max_column)\n"),
                      path});
        QVERIFY(python.waitForFinished(60000));
        const QString sheets = QString::fromUtf8(python.readAllStandardOutput());
        QVERIFY2(python.exitCode() == 0, qPrintable(python.readAllStandardError()));
        for (const QString &sheet : expected)
            QVERIFY2(sheets.contains(sheet), qPrintable(sheets));
    } else if (kind == QLatin1String("db")) {
        QVERIFY(bytes.startsWith("SQLite format 3"));
        const Result found = run({"archive", "find", "--db", path, "--json"});
        const QJsonArray traces
            = QJsonDocument::fromJson(found.out.toUtf8()).object().value("traces").toArray();
        QCOMPARE(traces.size(), 7); // six ends of the cable's fibres and the as-built
    } else {
        QFAIL(qPrintable("no check for " + kind));
    }
}

void TestCommands::wrongInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QMap<QString, QStringList> uses = wrongInputUse();
    for (auto use = uses.cbegin(); use != uses.cend(); ++use) {
        for (const char *input :
             {"vazio.sor", "texto.sor", "cortado.sor", "pasta.sor", "nao-existe.sor"}) {
            QStringList arguments = use.value();
            arguments.replaceInStrings(QStringLiteral("%1"),
                                       QStringLiteral("@/ruim/") + QLatin1String(input));
            QTest::newRow(qPrintable(use.key() + QLatin1Char(' ') + QLatin1String(input)))
                << arguments;
        }
    }
}

// A message and a failing exit status; never a signal, never silence.
void TestCommands::wrongInput()
{
    QFETCH(QStringList, arguments);
    const Result r = run(placed(arguments, dir.path()));
    const QString said = r.out.left(1000) + QStringLiteral("\n--- stderr:\n") + r.err.left(1000);
    QVERIFY2(r.status == QProcess::NormalExit, qPrintable(said));
    QVERIFY2(r.exit == 1 || r.exit == 2, qPrintable(QString::number(r.exit) + ": " + said));
    // Said on standard error, or as the result itself: "danificado", JSON's "errors".
    QVERIFY2(!(r.out + r.err).trimmed().isEmpty(), qPrintable(said));
    QVERIFY2(r.err.isEmpty() || r.err.startsWith(QStringLiteral("otdr-sor: ")), qPrintable(said));
}

void TestCommands::wrongOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("usage"); // empty: nothing after the line
    for (const Command &command : commands()) {
        const QString usage = QStringLiteral("Uso: otdr-sor ") + command.name();
        QTest::addRow("%s --bogus", qPrintable(command.name()))
            << QStringList{command.name(), "--bogus", "@/ruim/vazio.sor"}
            << "opção desconhecida: --bogus" << usage;
        QTest::addRow("%s -Z", qPrintable(command.name()))
            << QStringList{command.name(), "@/ruim/vazio.sor", "-Z"} << "opção desconhecida: -Z"
            << usage;
        QTest::addRow("%s --help=x", qPrintable(command.name()))
            << QStringList{command.name(), "@/ruim/vazio.sor", "--help=x"}
            << "a opção --help não leva valor" << usage;
    }
    QTest::newRow("no command") << QStringList{"--bogus"} << "opção desconhecida: --bogus"
                                << "Uso: otdr-sor COMANDO";
    QTest::newRow("check --limits without its value")
        << QStringList{"check", "@/ruim/vazio.sor", "--limits"}
        << "a opção --limits precisa de um valor"
        << "Uso: otdr-sor check";
    QTest::newRow("export --json=sim") << QStringList{"export", "@/ruim/vazio.sor", "--json=sim"}
                                       << "a opção --json não leva valor"
                                       << "Uso: otdr-sor export";
    QTest::newRow("link --json --csv") << QStringList{"link", "@/ruim/vazio.sor", "--json", "--csv"}
                                       << "escolha --json ou --csv, não os dois"
                                       << "";
    QTest::newRow("cable --json --csv")
        << QStringList{"cable", "@/ruim", "--json", "--csv"} << "escolha uma saída: --json ou --csv"
        << "";
    QTest::newRow("export --json --csv")
        << QStringList{"export", "@/ruim/vazio.sor", "--json", "--csv"}
        << "escolha uma saída: --json ou --csv"
        << "";
#ifdef OTDR_HAVE_ARCHIVE
    QTest::newRow("archive find --json --csv")
        << QStringList{"archive", "find", "--db", "@/nenhum.sqlite", "--json", "--csv"}
        << "escolha uma saída: --json ou --csv"
        << "";
    QTest::newRow("archive find --verdict XYZ")
        << QStringList{"archive", "find", "--db", "@/nenhum.sqlite", "--verdict", "XYZ"}
        << "archive: veredito desconhecido: XYZ (os vereditos são APROVADO, REPROVADO, "
           "INDETERMINADO e SEM LIMITES)"
        << "";
#endif
}

// An option wrongly given is named in Portuguese as it was typed, with the command's usage;
// exit 2, whatever the translation of the library's own words says.
void TestCommands::wrongOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    QFETCH(QString, usage);
    const Result r = run(placed(arguments, dir.path()), QStringLiteral("pt_BR.UTF-8"));
    QVERIFY2(r.status == QProcess::NormalExit, qPrintable(r.err));
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
    const QString first = QStringLiteral("otdr-sor: %1\n").arg(says);
    if (usage.isEmpty())
        QCOMPARE(r.err, first);
    else
        QVERIFY2(r.err.startsWith(first + QLatin1Char('\n') + usage), qPrintable(r.err));
}

// Every CSV in the user's locale's way: a comma and decimal points, or, where decimals take a
// comma (Brazil), a semicolon and decimal commas; a field holding either is quoted.
void TestCommands::csvFollowsLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("row"); // a pattern that one row must match

    for (const auto &[locale, comma] :
         {std::pair<const char *, bool>{"pt_BR.UTF-8", true}, {"C.UTF-8", false}}) {
        const QString sep = comma ? ";" : ",";
        const QString number = comma ? "[0-9]+,[0-9]{3}" : "[0-9]+\\.[0-9]{3}";
        QTest::addRow("export --csv, %s", locale)
            << locale << QStringList{"export", "--csv", "@/a.sor"}
            << "distance_m" + sep + "level_db"
            << "^" + number + sep + "-?" + number + "$";
        QTest::addRow("cable --csv, %s", locale)
            << locale << QStringList{"cable", "@/cabo", "--csv"}
            << "fiber" + sep + "wavelength_nm" + sep + "closure"
            << "^F01" + sep + "1550" + sep + "1" + sep + "[0-9]+[.,][0-9]" + sep + number;
        QTest::addRow("link --csv, %s", locale)
            << locale << QStringList{"link"} + shots + QStringList{"--csv"}
            << "evento" + sep + "distancia_km" + sep + "tipo"
            << "^2" + sep + "0[.,]4000" + sep + "connector" + sep + sep + "1310" + sep + number;
    }
}

void TestCommands::csvFollowsLocale()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, arguments);
    QFETCH(QString, header);
    QFETCH(QString, row);
    const Result r = run(placed(arguments, dir.path()), locale);
    QVERIFY2(r.status == QProcess::NormalExit && r.exit <= 1, qPrintable(r.err));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(!lines.isEmpty() && lines.first().startsWith(header), qPrintable(r.out.left(300)));
    const QRegularExpression pattern(row);
    QVERIFY2(std::any_of(lines.cbegin(),
                         lines.cend(),
                         [&](const QString &line) { return pattern.match(line).hasMatch(); }),
             qPrintable(row + " in " + r.out.left(600)));
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
