#include "command.h"
#include "sortoolrun.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// otdr-sor's commands as a script sees them.
class TestSorTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void check_data();
    void check();
    void usage_data();
    void infoOnNoTrace_data();
    void infoOnNoTrace();
    void oneWordingPerProblem_data();
    void oneWordingPerProblem();
    void usage();
    void optionProblems_data();
    void optionProblems();
    void everyCommand();
    void infoAndExport();
    void plot_data();
    void plot();
    void quietWithoutADesktop();
    void analyze();
    void analyzeOneFibre();
    void withoutEvents();
    void reflectanceValues_data();
    void reflectanceValues();
    void markerMeasuredHere();
    void bothEnds();
    void twoWavelengths();

private:
    int run(const QStringList &arguments);
    QString write(const QString &name, const QByteArray &bytes);

    QTemporaryDir dir;
    QString out;
    QString err;
};

void TestSorTool::initTestCase()
{
    const auto bytes = [](const char *name) {
        return SorWriter::write(SorWriter::readerCase(QString::fromUtf8(name)).trace);
    };
    write("sound.sor", bytes("whole file, CCITT-FALSE"));
    write("warned.sor", bytes("bytes after the last block"));
    write("mismatch.sor", bytes("known maker, checksum wrong"));
    write("unverifiable.sor", bytes("maker whose method is unknown"));
    write("cut.sor", bytes("whole file, CCITT-FALSE").left(3000));
    write("text.sor", "not a trace");
    write("strict.json", R"({"name": "rigoroso", "connector_loss_max_db": 0.3})");
    write("typo.json", R"({"conector_loss_max_db": 0.3})");
    write("none.sor", bytes("reflectance stored as none"));
    SorWriter::Simulation fibre;
    fibre.pulseNs = 1000;
    fibre.spacingM = 5;
    fibre.points = 12000;
    fibre.launchSnrDb = 35;
    fibre.events = {{SorWriter::TrueEvent::Step, 12000, 0.3, 0},
                    {SorWriter::TrueEvent::Reflection, 20000, 0.5, -45},
                    {SorWriter::TrueEvent::End, 40000, 0, -14}};
    write("simulated.sor", SorWriter::write(SorWriter::simulatedTrace(fibre)));
    // The same fibre whose splice the user marked by hand: a marker storing 0 dB and no
    // reflectance, as some makers write it.
    SorWriter::Trace marked = SorWriter::simulatedTrace(fibre, true);
    marked.events[0].code = "0A9999";
    marked.events[0].loss = 0;
    marked.events[0].reflectance = 0;
    write("marker.sor", SorWriter::write(marked));
    write("splices.json", R"({"name": "emendas", "splice_loss_max_db": 0.1})");
    write("positive.sor", bytes("positive reflectance"));
    for (const SorWriter::Case &c : SorWriter::twoEndedSamples()) {
        write(c.name, SorWriter::write(c.trace));
        // Both ends named by their fibre's id from each end, the template's places kept.
        SorWriter::Trace named = c.trace;
        named.locationA = "CENTRAL";
        named.fiberId = c.name.endsWith("-ab.sor") ? "NORSEA109" : "SEANOR109";
        write(QString(c.name).replace(".sor", "-named.sor"), SorWriter::write(named));
        if (c.name == QLatin1String("1550-ab.sor")) {
            write("1550-again.sor", SorWriter::write(c.trace)); // the same file, saved again
            // The same end measured again a minute later: other points, the same events.
            SorWriter::Trace again = c.trace;
            again.dateTime += 60;
            for (SorWriter::Scale &scale : again.data) {
                for (int k = 0; k < scale.values.size(); ++k)
                    scale.values[k] = quint16(std::min(65534, scale.values[k] + (k % 5) * 3));
            }
            write("1550-reshoot.sor", SorWriter::write(again));
        }
        // As a version 1 file without an event table: the tools take the analysis' events.
        SorWriter::Trace bare = c.trace;
        bare.version = 1;
        bare.withEvents = false;
        bare.events.clear();
        write(QString(c.name).replace(".sor", "-v1.sor"), SorWriter::write(bare));
        if (c.name != QLatin1String("1550-ba.sor"))
            continue;
        SorWriter::Trace other = c.trace;
        other.fiberId = "08";
        write("1550-other.sor", SorWriter::write(other));
        // Its laser reads 1547.4 nm: the band, 1550 nm, is what both ends share.
        SorWriter::Trace laser = c.trace;
        laser.wavelength = 15474;
        write("1550-laser.sor", SorWriter::write(laser));
    }
}

int TestSorTool::run(const QStringList &arguments)
{
    return runCapturing(arguments, out, err);
}

QString TestSorTool::write(const QString &name, const QByteArray &bytes)
{
    return writeInto(dir, name, bytes);
}

void TestSorTool::check_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("sound") << QStringList{"sound.sor"} << 0
                           << "sound.sor: íntegro (soma de "
                              "verificação válida "
                              "(ccitt-false-whole))";
    QTest::newRow("warnings are still sound")
        << QStringList{"warned.sor", "sound.sor"} << 0 << "íntegro, com avisos: 103 bytes";
    QTest::newRow("unknown method is still sound")
        << QStringList{"unverifiable.sor"} << 0 << "não verificável";
    QTest::newRow("checksum mismatch")
        << QStringList{"sound.sor", "mismatch.sor"} << 1 << "mismatch.sor: danificado: a soma";
    QTest::newRow("cut short") << QStringList{"cut.sor"} << 1 << "cut.sor: danificado: o bloco";
    QTest::newRow("not a trace") << QStringList{"text.sor"} << 1 << "não é um traço";
    QTest::newRow("missing file beats damage")
        << QStringList{"mismatch.sor", "absent.sor"} << 2 << "mismatch.sor: danificado";
}

void TestSorTool::check()
{
    QFETCH(QStringList, files);
    QFETCH(QString, says);
    QStringList paths;
    for (const QString &f : files)
        paths << dir.filePath(f);
    QTEST(run(QStringList{"check"} + paths), "status");
    QVERIFY2(out.contains(says), qPrintable(out));
    QCOMPARE(out.count('\n'), int(files.size() - (files.contains("absent.sor") ? 1 : 0)));
}

void TestSorTool::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Comandos:";
    QTest::newRow("command help") << QStringList{"plot", "--help"} << 0 << "--output";
    QTest::newRow("a command's help names its own usage")
        << QStringList{"export", "--help"} << 0
        << "Uso: otdr-sor export ARQUIVO (--json | --csv) [--points]";
    QTest::newRow("no command") << QStringList{} << 2 << "Uso:";
    QTest::newRow("unknown command") << QStringList{"fix", "a.sor"} << 2 << "desconhecido";
    QTest::newRow("unknown option") << QStringList{"check", "--fast", "a.sor"} << 2 << "fast";
    QTest::newRow("export without a format")
        << QStringList{"export", "sound.sor"} << 2
        << "otdr-sor: escolha uma das opções: --json ou --csv\n\nUso: otdr-sor export";
    QTest::newRow("plot without output") << QStringList{"plot", "sound.sor"} << 2
                                         << "otdr-sor: falta a opção -o\n\nUso: otdr-sor plot";
    QTest::newRow("bidir with one trace")
        << QStringList{"bidir", "1550-ab.sor"} << 2
        << "otdr-sor: falta o argumento B\n\nUso: otdr-sor bidir A B";
    // The number of arguments is checked as each command declares it.
    QTest::newRow("bidir with three traces")
        << QStringList{"bidir", "1550-ab.sor", "1550-ba.sor", "sound.sor"} << 2
        << "Uso: otdr-sor bidir A B";
    QTest::newRow("locate with three traces")
        << QStringList{"locate", "sound.sor", "sound.sor", "sound.sor", "--route", "r.csv"} << 2
        << "Uso: otdr-sor locate ARQUIVO... --route ROTA";
    QTest::newRow("info with two traces")
        << QStringList{"info", "sound.sor", "outro"} << 2
        << "otdr-sor: argumento a mais: outro\n\nUso: otdr-sor info ARQUIVO";
    QTest::newRow("compare with three traces")
        << QStringList{"compare", "sound.sor", "sound.sor", "sound.sor"} << 2
        << "Uso: otdr-sor compare [BASE] AGORA";
    QTest::newRow("a folder") << QStringList{"info", "."} << 2 << "é uma pasta";
    QTest::newRow("bad size") << QStringList{"plot", "sound.sor", "-o", "x.png", "--size", "9x9"}
                              << 2 << "tamanho";
    QTest::newRow("limits that fail one event")
        << QStringList{"check", "--limits", "strict.json", "sound.sor"} << 1
        << "veredito (rigoroso): REPROVADO: evento 2 (1,2000 km): perda de conector máx. 0,300 dB";
    QTest::newRow("a preset that passes")
        << QStringList{"info", "--preset", "monomodo-generico", "sound.sor"} << 0
        << "veredito (monomodo-generico): APROVADO";
    QTest::newRow("a damaged trace is not judged")
        << QStringList{"check", "--preset", "sem limites", "mismatch.sor"} << 1
        << "veredito (sem limites): INDETERMINADO: danificado";
    QTest::newRow("a limits file with an unknown key")
        << QStringList{"check", "--limits", "typo.json", "sound.sor"} << 2
        << "chave desconhecida: \"conector_loss_max_db\"";
    QTest::newRow("both ends' table")
        << QStringList{"bidir", "1550-ab.sor", "1550-ba.sor"} << 0
        << "  1                4,0000          -0,050           0,250       0,100";
    QTest::newRow("both ends reanalysed: a stored splice under the threshold is said")
        << QStringList{"bidir", "1550-ab.sor", "1550-ba.sor", "--reanalyze"} << 0
        << "  A (1550-ab.sor) 15,0000 km: 0,140 dB medidos aqui, abaixo do limiar de perda "
           "(0,200 dB)\n  B (1550-ba.sor) 9,0020 km: 0,080 dB medidos aqui";
    QTest::newRow("both ends at two wavelengths")
        << QStringList{"bidir", "1310-ab.sor", "1550-ba.sor"} << 2
        << "os comprimentos de onda diferem: 1310 nm em 1310-ab.sor, 1550 nm em 1550-ba.sor";
    QTest::newRow("the same file twice") << QStringList{"bidir", "1550-ab.sor", "1550-ab.sor"} << 2
                                         << "1550-ab.sor foi dado duas vezes";
    QTest::newRow("two fibres")
        << QStringList{"bidir", "1550-ab.sor", "1550-other.sor"} << 2
        << "são fibras diferentes: CB-12 / 07 em 1550-ab.sor, CB-12 / 08 em 1550-other.sor";
    QTest::newRow("one measurement saved twice")
        << QStringList{"bidir", "1550-ab.sor", "1550-again.sor"} << 2
        << "são a mesma medida salva duas vezes";
    QTest::newRow("two measurements from the same end, told by the traces")
        << QStringList{"bidir", "1550-ab.sor", "1550-reshoot.sor"} << 2
        << "as duas medidas partem da mesma ponta";
    QTest::newRow("two fibres paired anyway")
        << QStringList{"bidir", "1550-ab.sor", "1550-other.sor", "--force"} << 0
        << "aviso: são fibras diferentes";
    QTest::newRow("one fibre's id as each end names it")
        << QStringList{"bidir", "1550-ab-named.sor", "1550-ba-named.sor"} << 0
        << "Comprimento da fibra";
    QTest::newRow("two lasers of one band")
        << QStringList{"bidir", "1550-ab.sor", "1550-laser.sor"} << 0 << "Comprimento da fibra";
    QTest::newRow("a folder for an end")
        << QStringList{"bidir", "1550-ab.sor", "."} << 2 << ".: é uma pasta";
    QTest::newRow("version 1 files without events")
        << QStringList{"bidir", "1550-ab-v1.sor", "1550-ba-v1.sor"} << 0
        << "Comprimento da fibra: 24,0";
    QTest::newRow("a file without events, of another fibre")
        << QStringList{"bidir", "simulated.sor", "1550-ba.sor"} << 2
        << "as larguras de pulso diferem";
    QTest::newRow("bends on version 1 files without events")
        << QStringList{"bends", "1310-ab-v1.sor", "1550-ab-v1.sor"} << 0 << "Curvaturas: 1";
    QTest::newRow("a tolerance that is no distance")
        << QStringList{"bidir", "1550-ab.sor", "1550-ba.sor", "--tolerance", "-3"} << 2
        << "tolerância inválida";
    QTest::newRow("wavelengths the wrong way round")
        << QStringList{"bends", "1550-ab.sor", "1310-ab.sor"} << 2
        << "deveria ter o comprimento de onda menor";
    QTest::newRow("bends one file") << QStringList{"bends", "1550-ab.sor"} << 2 << "Uso:";
    QTest::newRow("a logo that is no image")
        << QStringList{"report", "sound.sor", "-o", "never.pdf", "--logo", "sound.sor"} << 2
        << "não foi possível ler o logotipo";
    QTest::newRow("an unknown preset")
        << QStringList{"check", "--preset", "x", "sound.sor"} << 2 << "predefinição desconhecida";
    QTest::newRow("analyze goes on past a file that is not there")
        << QStringList{"analyze", "nao-ha.sor", "sound.sor"} << 1 << "Eventos encontrados";
    QTest::newRow("analyze goes on past a folder")
        << QStringList{"analyze", ".", "sound.sor"} << 1 << "é uma pasta";
    QTest::newRow("a plot under a name that is no image of ours")
        << QStringList{"plot", "sound.sor", "-o", "x.jpg"} << 2 << "a imagem é .png ou .svg";
    QTest::newRow("a plot into a folder that is not there")
        << QStringList{"plot", "sound.sor", "-o", "/nao/existe/x.png"} << 2
        << "/nao/existe/x.png: a pasta não existe";
#ifdef OTDR_HAVE_ARCHIVE
    QTest::newRow("an archive subcommand that is not one")
        << QStringList{"archive", "frob"} << 2 << "subcomando desconhecido: frob";
#endif
    QTest::newRow("a threshold named with its value")
        << QStringList{"analyze", "--end-threshold", "abc", "sound.sor"} << 2
        << "limiar inválido: --end-threshold abc";
    QTest::newRow("a cable folder that does not exist")
        << QStringList{"cable", "nenhuma-pasta"} << 2
        << "nenhuma-pasta: pasta ou arquivo não encontrado";
}

// info lists what a damaged trace holds, but a file that is no trace has nothing to list.
void TestSorTool::infoOnNoTrace_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QString>("says");
    QTest::newRow("text") << "text.sor" << false << "não é um traço SOR";
    QTest::newRow("cut short") << "cut.sor" << true << "o bloco";
}

void TestSorTool::infoOnNoTrace()
{
    QFETCH(QString, file);
    QFETCH(bool, listed);
    QFETCH(QString, says);
    QCOMPARE(run({"info", dir.filePath(file)}), 1);
    QVERIFY2((out + err).contains(says), qPrintable(out + err));
    QCOMPARE(out.contains(QStringLiteral("Versão:")), listed);
    QCOMPARE(out.contains(QStringLiteral("Soma de verificação:")), listed);
}

// Every command that opens a trace names a file's problem in the same words, once, with the
// exit status of that problem.
void TestSorTool::oneWordingPerProblem_data()
{
    QTest::addColumn<QStringList>("arguments"); // "@" stands for the file
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    const QList<QStringList> commands{{"export", "@", "--csv"},
                                      {"plot", "@", "-o", "x.png"},
                                      {"analyze", "@"},
                                      {"bidir", "@", "1550-ab.sor", "--reanalyze"},
                                      {"compare", "sound.sor", "@"},
                                      {"link", "@"}};
    const QList<QPair<QString, QString>> problems{{"text.sor", "não é um traço SOR"},
                                                  {"cut.sor", "o bloco DataPts passa do fim"}};
    for (const auto &problem : problems) {
        for (const QStringList &command : commands) {
            QTest::addRow("%s %s", qPrintable(command.first()), qPrintable(problem.first))
                << command << problem.first << 1 << problem.second;
        }
    }
    QTest::newRow("info text.sor")
        << QStringList{"info", "@"} << "text.sor" << 1 << "não é um traço SOR";
    for (const QStringList &command : commands) {
        // analyze names a file it cannot read and goes on with the others.
        QTest::addRow("%s a folder", qPrintable(command.first()))
            << command << "." << (command.first() == "analyze" ? 1 : 2) << "é uma pasta";
    }
}

void TestSorTool::oneWordingPerProblem()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    QFETCH(QString, says);
    for (QString &a : arguments) {
        if (a == "@" || a.endsWith(".sor") || a.endsWith(".png"))
            a = dir.filePath(a == "@" ? file : a);
    }
    QTEST(run(arguments), "status");
    QVERIFY2(err.contains(dir.filePath(file) + ": " + says), qPrintable(err));
    QVERIFY2(err.count(says) == 1, qPrintable(err));
}

void TestSorTool::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    for (QString &a : arguments) {
        if (a.endsWith(".sor") || a.endsWith(".json") || a == ".")
            a = dir.filePath(a);
    }
    QTEST(run(arguments), "status");
    QVERIFY2((out + err).contains(says), qPrintable(out + err));
    // A command's help lists no other command, nor itself, as an argument.
    if (arguments.size() == 2 && arguments.last() == "--help") {
        const QString listed = out.mid(out.indexOf("Arguments:"));
        for (const char *command : {"check", "info", "export", "plot"})
            QVERIFY2(!listed.contains(QLatin1String(command)), qPrintable(out));
    }
}

void TestSorTool::optionProblems_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("says");  // the first line, after "otdr-sor: "
    QTest::addColumn<QString>("usage"); // how what follows begins; empty: nothing follows
    const QString check = "Uso: otdr-sor check ARQUIVO...";
    QTest::newRow("an unknown option")
        << QStringList{"check", "--bogus", "sound.sor"} << "opção desconhecida: --bogus" << check;
    QTest::newRow("an unknown option before the command")
        << QStringList{"--bogus", "check", "sound.sor"} << "opção desconhecida: --bogus" << check;
    QTest::newRow("an unknown option with a value")
        << QStringList{"check", "--bogus=3", "sound.sor"} << "opção desconhecida: --bogus" << check;
    QTest::newRow("an unknown letter")
        << QStringList{"check", "-x", "sound.sor"} << "opção desconhecida: -x" << check;
    QTest::newRow("unknown letters together")
        << QStringList{"check", "-xyz", "sound.sor"} << "opção desconhecida: -xyz" << check;
    QTest::newRow("cable's unknown option")
        << QStringList{"cable", "--nope", "."} << "opção desconhecida: --nope"
        << "Uso: otdr-sor cable PASTA...";
    QTest::newRow("no command, an unknown option")
        << QStringList{"--bogus"} << "opção desconhecida: --bogus"
        << "Uso: otdr-sor COMANDO [opções] ARQUIVO...";
    QTest::newRow("an option of a command, with none")
        << QStringList{"--limits"} << "opção desconhecida: --limits"
        << "Uso: otdr-sor COMANDO [opções] ARQUIVO...";
    QTest::newRow("a value missing") << QStringList{"check", "sound.sor", "--limits"}
                                     << "a opção --limits precisa de um valor" << check;
    QTest::newRow("an empty value after =")
        << QStringList{"check", "sound.sor", "--limits="} << "a opção --limits precisa de um valor"
        << "";
    QTest::newRow("no name after the dashes")
        << QStringList{"check", "--=x", "sound.sor"} << "opção desconhecida: --=x" << check;
    QTest::newRow("no letter after the dash")
        << QStringList{"check", "-=", "sound.sor"} << "opção desconhecida: -=" << check;
    QTest::newRow("a letter's value missing")
        << QStringList{"plot", "sound.sor", "-o"} << "a opção -o precisa de um valor"
        << "Uso: otdr-sor plot ARQUIVO... -o SAIDA";
    QTest::newRow("a value to an option that takes none")
        << QStringList{"export", "sound.sor", "--json=sim"} << "a opção --json não leva valor"
        << "Uso: otdr-sor export ARQUIVO (--json | --csv)";
    QTest::newRow("the first of two problems")
        << QStringList{"check", "--bogus", "sound.sor", "--limits"} << "opção desconhecida: --bogus"
        << check;
    // Several outputs on standard output: which one is asked for is said.
    QTest::newRow("export to JSON and CSV") << QStringList{"export", "sound.sor", "--json", "--csv"}
                                            << "escolha uma saída: --json ou --csv"
                                            << "";
    QTest::newRow("cable to JSON and CSV")
        << QStringList{"cable", ".", "--json", "--csv"} << "escolha uma saída: --json ou --csv"
        << "";
#ifdef OTDR_HAVE_ARCHIVE
    QTest::newRow("archive to JSON and CSV")
        << QStringList{"archive", "find", "--json", "--csv", "--db", "nenhum.sqlite"}
        << "escolha uma saída: --json ou --csv"
        << "";
    QTest::newRow("archive's unknown option")
        << QStringList{"archive", "find", "--nope"} << "opção desconhecida: --nope"
        << "Uso: otdr-sor archive (add PASTA...";
#endif
}

// An option the command does not take, or takes otherwise, is named as it was typed, in
// Portuguese, before the command's usage line; exit status 2 and nothing on standard output.
void TestSorTool::optionProblems()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    QFETCH(QString, usage);
    for (QString &a : arguments) {
        if (a.endsWith(".sor") || a.endsWith(".sqlite") || a == ".")
            a = dir.filePath(a);
    }
    QCOMPARE(run(arguments), 2);
    QVERIFY2(out.isEmpty(), qPrintable(out));
    const QString first = "otdr-sor: " + says + "\n";
    QVERIFY2(err.startsWith(first), qPrintable(err));
    if (usage.isEmpty())
        QCOMPARE(err, first);
    else
        QVERIFY2(err.mid(first.size()).startsWith("\n" + usage), qPrintable(err));
}

// Every command of the registry is listed, has its help, refuses an option it does not know and,
// without its files, says how it is used rather than that it is unknown.
void TestSorTool::everyCommand()
{
#ifdef OTDR_HAVE_ARCHIVE
    QCOMPARE(int(commands().size()), 14);
#else
    QCOMPARE(int(commands().size()), 13);
#endif
    QCOMPARE(run({}), 2);
    const QString list = err;
    for (const Command &command : commands()) {
        const QString name = command.name();
        QVERIFY2(list.contains(QStringLiteral("  %1 %2").arg(name, command.synopsis())),
                 qPrintable(list));
        QVERIFY(list.contains(command.description()));
        QCOMPARE(findCommand(name), &command);

        QCOMPARE(run({name, "--help"}), 0);
        QVERIFY2(out.startsWith(QStringLiteral("Uso: otdr-sor %1").arg(name)), qPrintable(out));
        QVERIFY2(out.contains(QString::fromUtf8("Mostra esta ajuda.")), qPrintable(out));
        // The usage line names every option the help lists, as it is made from them.
        const QString usageLine = out.section('\n', 0, 0);
        static const QRegularExpression listed("^ +(?:-\\w, )?(--[a-z-]+)",
                                               QRegularExpression::MultilineOption);
        for (auto it = listed.globalMatch(out); it.hasNext();) {
            const QString option = it.next().captured(1);
            if (option != "--help")
                QVERIFY2(usageLine.contains(option)
                             || (option == "--output" && usageLine.contains("-o ")),
                         qPrintable(name + ": " + option + " not in " + usageLine));
        }

        QCOMPARE(run({name, "--no-such-option", dir.filePath("sound.sor")}), 2);
        QVERIFY2(err.startsWith(QStringLiteral("otdr-sor: opção desconhecida: --no-such-option\n\n"
                                               "Uso: otdr-sor %1")
                                    .arg(name)),
                 qPrintable(err));

        // Without its arguments: what is missing, then how it is called.
        QCOMPARE(run({name}), 2);
        QVERIFY2(QRegularExpression(QStringLiteral("^otdr-sor: falta o argumento [A-ZÇÃ]+\n\n"
                                                   "Uso: otdr-sor %1 ")
                                        .arg(name))
                     .match(err)
                     .hasMatch(),
                 qPrintable(err));
        QVERIFY2(!err.contains("desconhecido"), qPrintable(err));
    }
    QCOMPARE(run({"--version"}), 0);
    QVERIFY2(QRegularExpression("^otdr-sor \\(otdr \\d+\\.\\d+\\.\\d+\\)\n$").match(out).hasMatch(),
             qPrintable(out));
    QCOMPARE(findCommand("cable-job"), nullptr);
    QCOMPARE(run({"cable-job"}), 2);
    QVERIFY2(err.startsWith("otdr-sor: comando desconhecido: cable-job"), qPrintable(err));
}

void TestSorTool::infoAndExport()
{
    QCOMPARE(run({"info", dir.filePath("sound.sor")}), 0);
    for (const char *line : {"Comprimento de onda:  1310 nm",
                             "Pulso:                100 ns",
                             "Data:                 2026-11-20 09:00:00 UTC",
                             "Eventos:"})
        QVERIFY2(out.contains(QString::fromUtf8(line)), qPrintable(out));
    QCOMPARE(run({"export", "--csv", dir.filePath("sound.sor")}), 0);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("distance_m,level_db"));
    QCOMPARE(lines.size(), 1 + 2400);
    QCOMPARE(lines.at(2).section(',', 0, 0).toDouble(), 1.0); // 1 m spacing
    QCOMPARE(run({"export", "--json", dir.filePath("mismatch.sor")}), 1);
    QVERIFY(out.contains("\"state\": \"mismatch\""));
}

// The events the analysis finds, in a table beside the file's and as JSON: one object for one
// file, an array for several; a file that cannot be read is named and the others analysed.
void TestSorTool::analyze()
{
    QCOMPARE(run({"analyze", dir.filePath("simulated.sor")}), 0);
    QVERIFY2(out.contains(QStringLiteral("Eventos encontrados")), qPrintable(out));
    QVERIFY2(out.contains(QRegularExpression("\\n  2 +20,0000  reflexivo +0,50\\d")),
             qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("Fim da fibra: 40,0000 km")), qPrintable(out));

    QCOMPARE(run({"analyze", "--json", dir.filePath("simulated.sor")}), 0);
    const QJsonObject one = QJsonDocument::fromJson(out.toUtf8()).object();
    QCOMPARE(one.value("file").toString(), dir.filePath("simulated.sor"));
    QVERIFY(std::abs(one.value("fiber_end_m").toDouble() - 40000) <= 5);
    QVERIFY(one.value("orl_db").isDouble() && one.value("total_loss_db").isDouble());
    // The file's own threshold, as its instrument used it (the generator writes 0.2 dB).
    QCOMPARE(one.value("thresholds").toObject().value("loss_db").toDouble(), 0.2);
    const QJsonArray events = one.value("events").toArray();
    QCOMPARE(events.size(), 3);
    QStringList types;
    for (const QJsonValue &e : events)
        types << e.toObject().value("type").toString();
    QCOMPARE(types, QStringList({"non-reflective", "reflective", "end"}));
    QVERIFY(events.at(0).toObject().value("reflectance_db").isNull());
    QVERIFY(std::abs(events.at(1).toObject().value("reflectance_db").toDouble() + 45) < 0.5);
    for (const char *key : {"number", "distance_m", "loss_db", "attenuation_db_km"})
        QVERIFY2(events.at(1).toObject().value(key).isDouble(), key);
    // How sure it is of each, and what the trace is made of: a section of fibre before each
    // event with its slope and noise, the floor past the end.
    const QJsonObject sure = events.at(1).toObject().value("confidence").toObject();
    QVERIFY(sure.value("sigmas").toDouble() > 8 && sure.value("sure").toBool());
    QVERIFY(one.value("fiber_end_confidence").toObject().value("sigmas").toDouble() > 8);
    QVERIFY(one.value("fiber_end_doubt").isNull());
    QStringList kinds;
    for (const QJsonValue &v : one.value("sections").toArray()) {
        const QJsonObject section = v.toObject();
        kinds << section.value("kind").toString();
        if (kinds.last() != QLatin1String("fibre"))
            continue;
        QVERIFY(std::abs(section.value("slope_db_km").toDouble() - 0.2) < 0.01);
        QVERIFY(section.value("noise_db").toDouble() > 0);
        QVERIFY(section.value("end_m").toDouble() > section.value("start_m").toDouble());
    }
    QCOMPARE(kinds.count(QStringLiteral("fibre")), 3);
    QCOMPARE(kinds.last(), QStringLiteral("floor"));

    QCOMPARE(run({"analyze",
                  "--json",
                  "--loss-threshold",
                  "0,4",
                  dir.filePath("simulated.sor"),
                  dir.filePath("cut.sor"),
                  dir.filePath("sound.sor")}),
             1);
    QVERIFY2(err.contains("cut.sor: "), qPrintable(err));
    const QJsonArray several = QJsonDocument::fromJson(out.toUtf8()).array();
    QCOMPARE(several.size(), 2);
    QCOMPARE(several.at(0).toObject().value("events").toArray().size(), 2); // 0.3 dB is no event
    QCOMPARE(run({"analyze", "--end-threshold", "x", dir.filePath("simulated.sor")}), 2);
}

// Shots of one fibre given together (the same ids, ends that agree) are told against each
// other, in the table and in JSON; told they are one fibre where they visibly are not, the
// command refuses, saying why.
void TestSorTool::analyzeOneFibre()
{
    QStringList shots;
    for (const int pulse : {100, 300, 1000}) {
        SorWriter::Simulation s;
        s.pulseNs = pulse;
        s.spacingM = 2;
        s.points = 8000;
        s.launchSnrDb = 22 + 5 * std::log10(pulse / 100.0);
        s.seed = quint32(pulse);
        s.events = {{SorWriter::TrueEvent::Step, 4000, 0.5, 0},
                    {SorWriter::TrueEvent::End, 11000, 0, -14}};
        if (pulse == 1000)
            s.events.last().positionM = 7000; // another fibre's end, under the same ids
        SorWriter::Trace t = SorWriter::simulatedTrace(s);
        t.fiberId = "F11";
        shots << write(QStringLiteral("shot%1.sor").arg(pulse), SorWriter::write(t));
    }
    QCOMPARE(run({"analyze", shots.at(0), shots.at(1)}), 0);
    QVERIFY2(out.contains(QStringLiteral("Uma só fibra: 2 traços")), qPrintable(out));
    QVERIFY2(out.contains(QRegularExpression("\\n  1 +4,0\\d+ km  visto em 2 de 2\\n")),
             qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("Uma só história: sim")), qPrintable(out));
    QCOMPARE(run({"analyze", "--json", shots.at(0), shots.at(1)}), 0);
    const QJsonObject both = QJsonDocument::fromJson(out.toUtf8()).object();
    QCOMPARE(both.value("traces").toArray().size(), 2);
    const QJsonObject agreement = both.value("agreement").toObject();
    QVERIFY(agreement.value("one_story").toBool());
    QCOMPARE(agreement.value("events").toArray().size(), 1);
    QVERIFY(agreement.value("ends_agree").toBool());
    // Another end under the same ids: analysed each alone, unless told they are one fibre.
    QCOMPARE(run({"analyze", "--json", shots.at(0), shots.at(2)}), 0);
    QVERIFY(QJsonDocument::fromJson(out.toUtf8()).isArray());
    QCOMPARE(run({"analyze", "--same-fibre", shots.at(0), shots.at(2)}), 2);
    QVERIFY2(err.contains(QStringLiteral("não são de uma só fibra: os fins da fibra vão de 7,")),
             qPrintable(err));
}

// A version 1 file without an event table: every tool that uses events takes the analysis' of
// its points, and says so where it lists them.
void TestSorTool::withoutEvents()
{
    QCOMPARE(run({"info", dir.filePath("1550-ab-v1.sor")}), 0);
    QVERIFY2(out.contains(QStringLiteral("Eventos (da análise dos pontos: o arquivo não traz "
                                         "eventos):")),
             qPrintable(out));
    QVERIFY2(out.contains(QRegularExpression("\\n  1 +9,50\\d\\d +0,4\\d\\d +-4[78],")),
             qPrintable(out));
    QVERIFY2(out.contains(QRegularExpression("\\n  \\d +24,00\\d\\d .* 1E9999")), qPrintable(out));
    QCOMPARE(run({"check", "--preset", "monomodo-generico", dir.filePath("1310-ab-v1.sor")}), 0);
    QVERIFY2(out.contains(QStringLiteral("APROVADO")), qPrintable(out));
    QDir folders(dir.filePath("v1"));
    folders.mkpath("A");
    folders.mkpath("B");
    for (const QString name :
         {"1310-ab-v1.sor", "1550-ab-v1.sor", "1310-ba-v1.sor", "1550-ba-v1.sor"})
        QFile::copy(dir.filePath(name),
                    folders.filePath(QString(name).contains("-ab") ? "A/" : "B/") + name);
    QCOMPARE(run({"cable", "--json", folders.filePath("A"), folders.filePath("B")}), 0);
    const QJsonObject job = QJsonDocument::fromJson(out.toUtf8()).object();
    const QJsonArray fibres = job.value("fibres").toArray();
    QCOMPARE(fibres.size(), 1);
    QVERIFY2(std::abs(fibres.at(0).toObject().value("length_m").toDouble() - 24000) < 10,
             qPrintable(out.left(600)));
    QCOMPARE(job.value("closures").toArray().size(), 2);
}

// A marker that stores no value is measured on the trace's points where the tools show it, says
// so, and is judged on what was measured.
void TestSorTool::markerMeasuredHere()
{
    QCOMPARE(run({"info", dir.filePath("marker.sor")}), 0);
    const QRegularExpressionMatch shown
        = QRegularExpression("\\n  1 +12,0000 +(\\d+,\\d{3}) \\(medido aqui\\)").match(out);
    QVERIFY2(shown.hasMatch(), qPrintable(out));
    QVERIFY(std::abs(shown.captured(1).replace(',', '.').toDouble() - 0.3) <= 0.05);
    QCOMPARE(run({"export", "--json", dir.filePath("marker.sor")}), 0);
    const QJsonObject marker
        = QJsonDocument::fromJson(out.toUtf8()).object().value("events").toArray().at(0).toObject();
    QCOMPARE(marker.value("how").toString(), QStringLiteral("measured"));
    QVERIFY(std::abs(marker.value("loss_db").toDouble() - 0.3) <= 0.05);
    QCOMPARE(run({"info", dir.filePath("marker.sor"), "--limits", dir.filePath("splices.json")}),
             1);
    QVERIFY2(out.contains(QStringLiteral("REPROVADO")), qPrintable(out));
    // Where the points cannot give it (in the launch's dead zone), none is shown.
    SorWriter::Simulation fibre;
    fibre.pulseNs = 1000;
    fibre.spacingM = 5;
    fibre.points = 12000;
    fibre.events
        = {{SorWriter::TrueEvent::Step, 12000, 0.3, 0}, {SorWriter::TrueEvent::End, 40000, 0, -14}};
    SorWriter::Trace early = SorWriter::simulatedTrace(fibre, true);
    early.events[0].code = "0A9999";
    early.events[0].loss = 0;
    early.events[0].time = SorWriter::timeFor(40, early.groupIndex);
    QCOMPARE(run({"export", "--json", write("early.sor", SorWriter::write(early))}), 0);
    const QJsonObject unmeasured
        = QJsonDocument::fromJson(out.toUtf8()).object().value("events").toArray().at(0).toObject();
    QCOMPARE(unmeasured.value("how").toString(), QStringLiteral("not-measured"));
    QVERIFY(unmeasured.value("loss_db").isNull());
}

void TestSorTool::reflectanceValues_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("jsonValue"); // of the first non-reflective event
    QTest::addColumn<bool>("warned");
    QTest::newRow("none, as one maker stores it") << "none.sor"
                                                  << "null" << false;
    QTest::newRow("positive, kept with a warning") << "positive.sor"
                                                   << "0" << true;
}

// "None" is not a number of decibels, and a reflectance above 0 dB is not a measurement.
void TestSorTool::reflectanceValues()
{
    QFETCH(QString, file);
    QFETCH(QString, jsonValue);
    QFETCH(bool, warned);
    QCOMPARE(run({"export", "--json", dir.filePath(file)}), 0);
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    const QJsonArray events = json.value("events").toArray();
    QCOMPARE(events.size(), 3);
    const QJsonValue splice = events.at(0).toObject().value("reflectance_db");
    QCOMPARE(splice.isNull() ? QStringLiteral("null") : QString::number(splice.toDouble()),
             jsonValue);
    const QJsonValue connector = events.at(1).toObject().value("reflectance_db");
    QCOMPARE(connector.toDouble(), warned ? 40.0 : -43.0);
    QCOMPARE(json.value("warnings").toArray().size(), warned ? 1 : 0);
    QCOMPARE(run({"info", dir.filePath(file)}), 0);
    QCOMPARE(out.contains(QStringLiteral("refletância positiva (40,000 dB)")), warned);
    QVERIFY2(!out.contains("2147483"), qPrintable(out));
    // The splice's row ends its reflectance column empty, before the code.
    const QString row = out.split('\n').filter(QRegularExpression("^  1 ")).value(0);
    QCOMPARE(row.contains(QRegularExpression("0,100 {21}0F9999$")), !warned);
}

// The samples' fibre from both ends: the gainer averages to its true loss, every event is seen
// from both ends, lengths and totals as documented.
void TestSorTool::bothEnds()
{
    QCOMPARE(run({"bidir", dir.filePath("1550-ab.sor"), dir.filePath("1550-ba.sor"), "--json"}), 0);
    const QJsonObject o = QJsonDocument::fromJson(out.toUtf8()).object();
    const QJsonArray events = o.value("events").toArray();
    QCOMPARE(events.size(), 4);
    const QVector<double> truth{4000, 9500, 15000, 19000};
    const QVector<double> losses{0.1, 0.45, 0.11, 0.95};
    for (int i = 0; i < events.size(); ++i) {
        const QJsonObject e = events.at(i).toObject();
        QCOMPARE(e.value("seen_from").toString(), QStringLiteral("both"));
        QVERIFY(std::abs(e.value("distance_m").toDouble() - truth.at(i)) < 2.5);
        QVERIFY(std::abs(e.value("loss_db").toDouble() - losses.at(i)) < 1e-9);
    }
    QCOMPARE(events.at(0).toObject().value("loss_ab_db").toDouble(), -0.05);
    QCOMPARE(events.at(0).toObject().value("loss_ba_db").toDouble(), 0.25);
    QVERIFY(events.at(0).toObject().value("reflectance_db").isNull());
    QCOMPARE(events.at(1).toObject().value("reflectance_db").toDouble(), -48.0);
    QVERIFY(std::abs(o.value("fiber_length_m").toDouble() - 24002) < 1);
    QVERIFY(o.value("total_loss_db").toDouble() > 6);
    QVERIFY(!o.contains("stored_not_found"));
    // Reanalysed, the files' 0.14 and 0.08 dB readings of the 15 km splice lie under their
    // 0.2 dB threshold from both ends: said, each on its end's axis, with its loss there.
    QCOMPARE(run({"bidir",
                  dir.filePath("1550-ab.sor"),
                  dir.filePath("1550-ba.sor"),
                  "--json",
                  "--reanalyze"}),
             0);
    const QJsonArray left
        = QJsonDocument::fromJson(out.toUtf8()).object().value("stored_not_found").toArray();
    QCOMPARE(left.size(), 2);
    const QVector<double> places{15000, 9002};
    const QVector<double> readings{0.14, 0.08};
    for (int i = 0; i < left.size(); ++i) {
        const QJsonObject e = left.at(i).toObject();
        QCOMPARE(e.value("end").toString(), QString(i == 0 ? "A" : "B"));
        QVERIFY(std::abs(e.value("distance_m").toDouble() - places.at(i)) < 1);
        QVERIFY(std::abs(e.value("loss_db").toDouble() - readings.at(i)) < 0.01);
        QCOMPARE(e.value("why").toString(), QStringLiteral("abaixo do limiar de perda (0,200 dB)"));
    }
}

// 1310 and 1550 nm from one end: the bend at 19 km, and nothing else, is flagged; a higher
// threshold flags nothing.
void TestSorTool::twoWavelengths()
{
    const QStringList files{dir.filePath("1310-ba.sor"), dir.filePath("1550-ba.sor")};
    QCOMPARE(run(QStringList{"bends"} + files + QStringList{"--json"}), 0);
    QJsonArray events = QJsonDocument::fromJson(out.toUtf8()).object().value("events").toArray();
    QCOMPARE(events.size(), 4);
    for (const QJsonValue &v : events) {
        const QJsonObject e = v.toObject();
        const bool atTheBend = std::abs(e.value("distance_m").toDouble() - (24002 - 19000)) < 3;
        QCOMPARE(e.value("bend").toBool(), atTheBend);
    }
    QCOMPARE(run(QStringList{"bends"} + files + QStringList{"--json", "--threshold", "0,9"}), 0);
    QVERIFY(out.contains("\"bends\": 0"));
}

void TestSorTool::plot_data()
{
    QTest::addColumn<QString>("output");
    QTest::newRow("png") << "plot.png";
    QTest::newRow("svg") << "plot.svg";
}

void TestSorTool::plot()
{
    QFETCH(QString, output);
    const QString path = dir.filePath(output);
    QCOMPARE(run({"plot",
                  dir.filePath("sound.sor"),
                  dir.filePath("warned.sor"),
                  "-o",
                  path,
                  "--size",
                  "800x450"}),
             0);
    if (output.endsWith(".png")) {
        const QImage image(path);
        QCOMPARE(image.size(), QSize(800, 450));
        // The first trace's colour is drawn.
        bool blue = false;
        for (int y = 0; y < image.height() && !blue; ++y) {
            for (int x = 0; x < image.width() && !blue; ++x)
                blue = image.pixelColor(x, y) == QColor(0x1f, 0x77, 0xb4);
        }
        QVERIFY(blue);
    } else {
        QFile svg(path);
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QByteArray text = svg.readAll();
        QVERIFY(text.contains("<svg"));
        QVERIFY(text.contains("sound.sor"));
        QVERIFY(!text.contains("danificado"));
    }
    QCOMPARE(run({"plot", dir.filePath("sound.sor"), "-o", "/nonexistent/dir/x.png"}), 2);
    // A damaged trace that can still be drawn says so in the legend, in words.
    const QString damaged = dir.filePath("damaged-" + output);
    QCOMPARE(run({"plot", dir.filePath("mismatch.sor"), "-o", damaged}), 0);
    if (output.endsWith(".svg")) {
        QFile svg(damaged);
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().contains("mismatch.sor (danificado)"));
    }
}

// A plot made where no desktop session runs prints nothing beyond the tool's own output.
void TestSorTool::quietWithoutADesktop()
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(OTDR_SOR),
               {"plot", dir.filePath("sound.sor"), "-o", dir.filePath("quiet.png")});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(tool.readAllStandardError()), QString());
    QVERIFY(QImage(dir.filePath("quiet.png")).width() > 0);
}

QTEST_MAIN(TestSorTool)
#include "tst_sortool.moc"
