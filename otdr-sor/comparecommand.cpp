#include "baseline/baselineoutput.h"
#include "cable/cablejob.h"
#include "commandline.h"
#include "report/report.h"
#include "sor/sorreader.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QRegularExpression>
#include <QTextStream>

#include <memory>
#include <utility>

namespace {

// A trace's fibre, band and end, to pair a folder's traces with the other's.
QString pairKey(const Sor::Trace &t, const QString &path, bool byName)
{
    const int band = t.wavelengthNm ? Sor::bandOf(*t.wavelengthNm) : 0;
    QString fibre = t.general ? t.general->fiberId.trimmed() : QString();
    const QString place = t.general ? t.general->locationA.trimmed() : QString();
    if (byName || fibre.isEmpty()) {
        fibre = QFileInfo(path).completeBaseName();
        fibre.remove(QRegularExpression(QStringLiteral("[_\\-. ]?(1310|1383|1490|1550|1625)(nm)?$"),
                                        QRegularExpression::CaseInsensitiveOption));
        return QStringLiteral("%1|%2").arg(fibre).arg(band);
    }
    return QStringLiteral("%1|%2|%3").arg(fibre).arg(band).arg(place);
}

struct Listed
{
    QString path;
    std::shared_ptr<const Sor::Opened> opened; // kept: the comparison reads it, not the file
    QString condition;
    QDateTime date;
};

// A folder's traces by their pair key; where several are one fibre's, the as-built first (its
// build condition BC), then the oldest.
QMap<QString, Listed> listed(const QString &folder, bool byName, QStringList &unreadable)
{
    QMap<QString, Listed> byKey;
    for (const QString &path : Cable::sorFiles({folder})) {
        auto opened = std::make_shared<const Sor::Opened>(Sor::openTrace(path));
        if (!opened->usable()) {
            unreadable << QStringLiteral("%1: %2").arg(path, opened->problem);
            continue;
        }
        const Sor::Trace &t = opened->trace;
        const QString key = pairKey(t, path, byName);
        Listed l{path,
                 opened,
                 t.general ? t.general->buildCondition.trimmed().toUpper() : QString(),
                 t.date.value_or(QDateTime())};
        const auto it = byKey.constFind(key);
        const bool better
            = it == byKey.cend()
              || (l.condition == QLatin1String("BC") && it->condition != QLatin1String("BC"))
              || (l.condition == it->condition && l.date.isValid()
                  && (!it->date.isValid() || l.date < it->date));
        if (better)
            byKey.insert(key, l);
    }
    return byKey;
}

const QCommandLineOption threshold{
    QStringLiteral("threshold"),
    QStringLiteral("A menor mudança de perda listada, em dB (0,1; 2 dB para a refletância)."),
    QStringLiteral("DB")};
const QCommandLineOption tolerance{
    QStringLiteral("tolerance"),
    QStringLiteral("Distância máxima entre as posições de um mesmo evento (padrão: o maior "
                   "pulso e 2 amostras)."),
    QStringLiteral("M")};
const QCommandLineOption pairByName{
    QStringLiteral("pair-by-name"),
    QStringLiteral("Em pastas, casa os traços pelos nomes dos arquivos, não pelas ids.")};
const QCommandLineOption force{QStringLiteral("force"),
                               QStringLiteral("Compara mesmo o que não parece uma fibra "
                                              "medida da mesma ponta: outro comprimento de "
                                              "onda, outra fibra, a outra ponta.")};
const QCommandLineOption json = CommandLine::jsonOption();
const QCommandLineOption output = CommandLine::outputOption(
    QStringLiteral("Grava também um PDF: uma página por fibra."), QStringLiteral("RELATORIO.pdf"));
const QCommandLineOption baseline{
    QStringLiteral("baseline"),
    QStringLiteral("auto: a linha de base é a que o arquivo de traços tem para a fibra, a "
                   "ponta e a banda do traço de agora (só AGORA é dado)."),
    QStringLiteral("auto")};
const QCommandLineOption db = CommandLine::archiveOption();

// The pairs compared and what came of them.
struct Outcome
{
    QVector<Report::ComparedPair> pairs;
    QStringList unpaired;
    QStringList unreadable;
    int status = Command::Sound;
    QJsonArray results;
    int changed = 0;
    int refused = 0; // not one fibre from one end: not compared
};

// --baseline auto: the as-built the archive knows for this trace's fibre, end and band put
// before it; the exit status when there is none.
std::optional<int>
prependArchivedBaseline(QStringList &args, const QCommandLineParser &parser, QTextStream &err)
{
    if (parser.value(baseline) != QLatin1String("auto") || args.size() != 1) {
        err << QStringLiteral("otdr-sor: compare --baseline auto AGORA.sor: um traço de "
                              "agora, e a linha de base do arquivo de traços\n");
        return Command::Usage;
    }
    int status = Command::Sound;
    const std::optional<Sor::Trace> now = CommandLine::openTrace(args.first(), err, status);
    if (!now)
        return status;
    QString why;
    const std::optional<QString> base = CommandLine::archivedBaseline(*now, parser.value(db), &why);
    if (!base) {
        CommandLine::fileProblem(err, args.first(), why);
        return Command::Usage;
    }
    args.prepend(*base);
    return std::nullopt;
}

// Each fibre, band and end of the two folders; each file opened once.
Outcome pairFolders(const QStringList &args, bool byName)
{
    Outcome o;
    const QMap<QString, Listed> base = listed(args.at(0), byName, o.unreadable);
    const QMap<QString, Listed> now = listed(args.at(1), byName, o.unreadable);
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (base.contains(it.key())) {
            const Listed &b = base.value(it.key());
            o.pairs.append({b.path, it->path, b.opened, it->opened, {}, {}});
        } else
            o.unpaired << QStringLiteral("%1: sem linha de base").arg(it->path);
    }
    for (auto it = base.cbegin(); it != base.cend(); ++it) {
        if (!now.contains(it.key()))
            o.unpaired << QStringLiteral("%1: sem traço de agora").arg(it->path);
    }
    return o;
}

Outcome pairFiles(const QStringList &args)
{
    Outcome o;
    o.pairs.append({args.at(0),
                    args.at(1),
                    std::make_shared<const Sor::Opened>(Sor::openTrace(args.at(0))),
                    std::make_shared<const Sor::Opened>(Sor::openTrace(args.at(1))),
                    {},
                    {}});
    return o;
}

// Each pair compared once, for the text or JSON and for its page of the PDF; two files
// that cannot be compared end the run with its exit status.
std::optional<int> compareEach(Outcome &o,
                               bool folders,
                               const Baseline::Options &options,
                               bool json,
                               QTextStream &out,
                               QTextStream &err)
{
    for (Report::ComparedPair &pair : o.pairs) {
        if (!pair.base->usable() || !pair.now->usable()) {
            const bool baseUsable = pair.base->usable();
            pair.problem = baseUsable ? pair.now->problem : pair.base->problem;
            CommandLine::fileProblem(err, baseUsable ? pair.nowPath : pair.basePath, pair.problem);
            if (!folders)
                return Command::Damaged;
            o.status = Command::Damaged;
            continue;
        }
        pair.comparison = Baseline::compare(pair.base->trace, pair.now->trace, options);
        const Baseline::Comparison &c = *pair.comparison;
        if (!c.problem.isEmpty() && !folders) {
            err << "otdr-sor: " << c.problem << "\n";
            return Command::Usage;
        }
        o.refused += c.problem.isEmpty() ? 0 : 1;
        if (c.changed() || !c.problem.isEmpty()) {
            o.changed += c.problem.isEmpty() ? 1 : 0;
            o.status = std::max(o.status, int(Command::Damaged));
        }
        const QString b = QFileInfo(pair.basePath).fileName();
        const QString n = QFileInfo(pair.nowPath).fileName();
        if (json)
            o.results.append(Baseline::toJson(b, n, c));
        else
            out << Baseline::table(b, n, c) << (folders ? "\n" : "");
    }
    return std::nullopt;
}

void printJson(const Outcome &o, bool folders, QTextStream &out)
{
    if (folders)
        out << QJsonDocument(QJsonObject{{"pairs", o.results},
                                         {"unpaired", QJsonArray::fromStringList(o.unpaired)},
                                         {"unreadable", QJsonArray::fromStringList(o.unreadable)}})
                   .toJson(QJsonDocument::Indented);
    else
        out << QJsonDocument(o.results.first().toObject()).toJson(QJsonDocument::Indented);
}

void printFolderSummary(const Outcome &o, QTextStream &out)
{
    out << QStringLiteral("%1 pares: %2 sem mudança, %3 mudaram%4\n")
               .arg(o.pairs.size())
               .arg(o.pairs.size() - o.changed - o.refused)
               .arg(o.changed)
               .arg(o.refused > 0 ? QStringLiteral(", %1 não comparados").arg(o.refused)
                                  : QString());
    for (const QString &line : o.unpaired + o.unreadable)
        out << QStringLiteral("  %1\n").arg(line);
}

// A page per pair; each pair let go once its page is drawn.
bool writePdf(QVector<Report::ComparedPair> &pairs, const QString &pdf, QTextStream &err)
{
    Report::Options report;
    report.title = QStringLiteral("O que mudou desde a linha de base");
    const auto pairAt = [&pairs](int i) { return std::exchange(pairs[i], {}); };
    return CommandLine::wrote(pdf, err, [&](QString *why) {
        return Report::writeBaselinePdf(int(pairs.size()), pairAt, report, pdf, why);
    });
}

// otdr-sor compare: what changed on a fibre since its as-built.
std::optional<int>
run(const QStringList &given, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    QStringList args = given;
    if (parser.isSet(baseline)) {
        if (const std::optional<int> refused = prependArchivedBaseline(args, parser, err))
            return *refused;
    }
    if (args.size() != 2)
        return std::nullopt;
    Baseline::Options options;
    options.force = parser.isSet(force);
    if (!CommandLine::numberOption(parser,
                                   threshold,
                                   CommandLine::Least::Positive,
                                   QStringLiteral("limiar inválido"),
                                   options.thresholdDb,
                                   err)
        || !CommandLine::numberOption(parser,
                                      tolerance,
                                      CommandLine::Least::Positive,
                                      QStringLiteral("tolerância inválida"),
                                      options.toleranceM,
                                      err))
        return Command::Usage;
    const bool folders = QFileInfo(args.at(0)).isDir() && QFileInfo(args.at(1)).isDir();
    for (const QString &path : args) {
        if (!CommandLine::found(path, err) || (!folders && !CommandLine::readable(path, err)))
            return Command::Usage;
    }
    if (!CommandLine::outputsAllowed(parser, {&output}, args, err))
        return Command::Usage;
    if (!folders && (QFileInfo(args.at(0)).isDir() || QFileInfo(args.at(1)).isDir())) {
        err << QStringLiteral("otdr-sor: compare quer dois traços ou duas pastas\n");
        return Command::Usage;
    }
    Outcome outcome = folders ? pairFolders(args, parser.isSet(pairByName)) : pairFiles(args);
    if (const std::optional<int> refused
        = compareEach(outcome, folders, options, parser.isSet(json), out, err))
        return *refused;
    if (parser.isSet(json))
        printJson(outcome, folders, out);
    else if (folders)
        printFolderSummary(outcome, out);
    if (folders && (!outcome.unpaired.isEmpty() || !outcome.unreadable.isEmpty()))
        outcome.status = std::max(outcome.status, int(Command::Damaged));
    if (parser.isSet(output)) {
        // The result is the user's whatever becomes of the PDF.
        out.flush();
        if (!writePdf(outcome.pairs, parser.value(output), err))
            return Command::Usage;
    }
    return outcome.status;
}

} // namespace

Command::Declaration compareCommand()
{
    return {
        QStringLiteral("compare"),
        QStringLiteral("o que mudou desde a linha de base (eventos e pontos)"),
        {{QStringLiteral("BASE"),
          QStringLiteral("A linha de base: um traço, ou uma pasta (nenhuma com --baseline auto)."),
          0,
          1},
         {QStringLiteral("AGORA"), QStringLiteral("O traço de agora, ou uma pasta.")}},
        Command::eachAlone({threshold, tolerance, pairByName, force, json, output, baseline, db}),
        run};
}
