#include "acceptance/verdict.h"
#include "archive/archive.h"
#include "commandline.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>
#include <QTextStream>

namespace {

// otdr-sor archive: every trace ever measured, indexed once and found in a moment.
class ArchiveCommand
{
public:
    // The exit statuses, as its run names them.
    enum { Sound = Command::Sound, Damaged = Command::Damaged, Usage = Command::Usage };

    // Its options, for its declaration.
    QList<Command::Choice> choices() const
    {
        return {{{db}},
                limits.choice(),
                {{cable}},
                {{fiber}},
                {{wavelength}},
                {{from}},
                {{to}},
                {{condition}},
                {{maker}},
                {{verdict}},
                {{text}},
                formats.choice()};
    }

    std::optional<int> run(const QStringList &args,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const
    {
        if (!formats.oneAtMost(parser, err))
            return Usage;
        if (!isCall(args, err))
            return std::nullopt;
        const QString action = args.first();
        const QStringList rest = args.mid(1);
        if (action == QLatin1String("history") && rest.first().trimmed().isEmpty()) {
            err << QStringLiteral("otdr-sor: archive history: diga de que fibra (p. ex. archive "
                                  "history F07 --cable ELM-MIL)\n");
            return Usage;
        }
        std::optional<Acceptance::Limits> chosen;
        Archive::Query query;
        if (!limits.read(parser, chosen, err) || !readQuery(parser, query, err))
            return Usage;
        QString why;
        const std::unique_ptr<Archive::Archive> archive
            = Archive::Archive::open(parser.value(db), &why, action == QLatin1String("add"));
        if (!archive) {
            err << QStringLiteral("otdr-sor: arquivo de traços: %1\n").arg(why);
            return Usage;
        }
        if (action == QLatin1String("add"))
            return add(*archive, rest, chosen, out, err);
        QVector<Archive::Record> records;
        const int status = action == QLatin1String("find") ? find(*archive, query, records)
                           : action == QLatin1String("history")
                               ? history(*archive, rest.first(), query, records, err)
                               : baseline(*archive, rest.first(), records, err);
        if (status != Sound)
            return status;
        if (!archive->lastError().isEmpty()) {
            err << QStringLiteral("otdr-sor: arquivo de traços: %1\n").arg(archive->lastError());
            return Damaged;
        }
        print(records, action == QLatin1String("baseline"), parser, out);
        return Sound;
    }

private:
    // A subcommand with as many arguments as it takes; an unknown one is said.
    static bool isCall(const QStringList &args, QTextStream &err);
    // The filters of find, history's cable; false where one is wrong, said.
    bool readQuery(const QCommandLineParser &parser, Archive::Query &query, QTextStream &err) const;
    static int add(Archive::Archive &archive,
                   const QStringList &paths,
                   const std::optional<Acceptance::Limits> &limits,
                   QTextStream &out,
                   QTextStream &err);
    static int find(const Archive::Archive &archive,
                    const Archive::Query &query,
                    QVector<Archive::Record> &records);
    static int history(const Archive::Archive &archive,
                       const QString &fiber,
                       const Archive::Query &query,
                       QVector<Archive::Record> &records,
                       QTextStream &err);
    static int baseline(const Archive::Archive &archive,
                        const QString &path,
                        QVector<Archive::Record> &records,
                        QTextStream &err);
    // The records as asked: JSON, CSV, a table, or the baseline's path.
    void print(const QVector<Archive::Record> &records,
               bool oneBaseline,
               const QCommandLineParser &parser,
               QTextStream &out) const;

    const QCommandLineOption db = CommandLine::archiveOption();
    const CommandLine::LimitsOption limits;
    const QCommandLineOption cable{
        QStringLiteral("cable"), QStringLiteral("Só deste cabo."), QStringLiteral("CABO")};
    const QCommandLineOption fiber{
        QStringLiteral("fiber"), QStringLiteral("Só desta fibra."), QStringLiteral("FIBRA")};
    const QCommandLineOption wavelength{QStringLiteral("wavelength"),
                                        QStringLiteral("Só desta banda (1310, 1550, …)."),
                                        QStringLiteral("NM")};
    const QCommandLineOption from{QStringLiteral("from"),
                                  QStringLiteral("Medidos deste dia em diante."),
                                  QStringLiteral("DATA")};
    const QCommandLineOption to{
        QStringLiteral("to"), QStringLiteral("Medidos até este dia."), QStringLiteral("DATA")};
    const QCommandLineOption condition{QStringLiteral("condition"),
                                       QStringLiteral("Só desta condição: BC (as-built), CC, "
                                                      "RC, OT."),
                                       QStringLiteral("COND")};
    const QCommandLineOption maker{QStringLiteral("maker"),
                                   QStringLiteral("Só deste fabricante ou modelo."),
                                   QStringLiteral("NOME")};
    const QCommandLineOption verdict{QStringLiteral("verdict"),
                                     QStringLiteral("Só com este veredito: APROVADO, "
                                                    "REPROVADO, INDETERMINADO, SEM LIMITES."),
                                     QStringLiteral("V")};
    const QCommandLineOption text{QStringLiteral("text"),
                                  QStringLiteral("Palavras nos rótulos, no fabricante ou no "
                                                 "caminho."),
                                  QStringLiteral("PALAVRAS")};
    const CommandLine::Formats formats{QStringLiteral("O resultado em JSON."),
                                       QStringLiteral("O resultado em CSV.")};
};

bool ArchiveCommand::isCall(const QStringList &args, QTextStream &err)
{
    const QString action = args.value(0);
    const int given = args.size() - 1;
    if (action == QLatin1String("add"))
        return given > 0;
    if (action == QLatin1String("find"))
        return given == 0;
    if (action == QLatin1String("history") || action == QLatin1String("baseline"))
        return given == 1;
    err << QStringLiteral("otdr-sor: archive: subcomando desconhecido: %1\n").arg(action);
    return false;
}

bool ArchiveCommand::readQuery(const QCommandLineParser &parser,
                               Archive::Query &query,
                               QTextStream &err) const
{
    query.cable = parser.value(cable);
    query.fiber = parser.value(fiber);
    query.condition = parser.value(condition).trimmed();
    static const QStringList conditions{"BC", "CC", "RC", "OT"};
    if (parser.isSet(condition) && !conditions.contains(query.condition, Qt::CaseInsensitive)) {
        err << QStringLiteral("otdr-sor: archive: condição desconhecida: %1 (as condições são BC, "
                              "CC, RC e OT)\n")
                   .arg(parser.value(condition));
        return false;
    }
    query.maker = parser.value(maker);
    query.verdict = parser.value(verdict).trimmed();
    // The words add stores; "danificado" in the table is no verdict, but the trace's state.
    static const QStringList verdicts{Acceptance::verdictWord(Acceptance::Verdict::Pass),
                                      Acceptance::verdictWord(Acceptance::Verdict::Fail),
                                      Acceptance::verdictWord(Acceptance::Verdict::Unknown),
                                      Acceptance::verdictWord(Acceptance::Verdict::NoLimits)};
    if (parser.isSet(verdict) && !verdicts.contains(query.verdict, Qt::CaseInsensitive)) {
        err << QStringLiteral("otdr-sor: archive: veredito desconhecido: %1 (os vereditos são "
                              "%2 e %3)\n")
                   .arg(parser.value(verdict),
                        verdicts.mid(0, verdicts.size() - 1).join(QStringLiteral(", ")),
                        verdicts.last());
        return false;
    }
    query.text = parser.value(text);
    if (parser.isSet(wavelength)) {
        bool ok = false;
        query.bandNm = parser.value(wavelength).toInt(&ok);
        if (!ok || query.bandNm < 600 || query.bandNm > 1700) {
            err << QStringLiteral("otdr-sor: comprimento de onda inválido: %1\n")
                       .arg(parser.value(wavelength));
            return false;
        }
    }
    for (const auto &[option, date] : {std::pair{&from, &query.from}, std::pair{&to, &query.to}}) {
        if (!parser.isSet(*option))
            continue;
        const QDate d = QDate::fromString(parser.value(*option), Qt::ISODate);
        if (!d.isValid()) {
            err << QStringLiteral("otdr-sor: data inválida: %1 (AAAA-MM-DD)\n")
                       .arg(parser.value(*option));
            return false;
        }
        *date = d;
    }
    return true;
}

int ArchiveCommand::add(Archive::Archive &archive,
                        const QStringList &paths,
                        const std::optional<Acceptance::Limits> &limits,
                        QTextStream &out,
                        QTextStream &err)
{
    const Archive::AddResult r = archive.add(paths, limits);
    out << Archive::summary(r) << "\n";
    for (const QString &path : r.notTraces)
        err << QStringLiteral("otdr-sor: %1: não é um traço SOR; ignorado\n").arg(path);
    for (const QString &e : r.errors)
        err << "otdr-sor: " << e << "\n";
    return r.errors.isEmpty() ? Sound : Damaged;
}

int ArchiveCommand::find(const Archive::Archive &archive,
                         const Archive::Query &query,
                         QVector<Archive::Record> &records)
{
    records = archive.find(query);
    return Sound;
}

int ArchiveCommand::history(const Archive::Archive &archive,
                            const QString &fiber,
                            const Archive::Query &query,
                            QVector<Archive::Record> &records,
                            QTextStream &err)
{
    records = archive.history(fiber, query.cable);
    if (records.isEmpty() && archive.lastError().isEmpty()) {
        // Nothing found is no fault, as a find that matches nothing: its empty answer is
        // printed, and why it is empty said.
        err << QStringLiteral("otdr-sor: archive history: nenhum traço da fibra %1%2 no "
                              "arquivo\n")
                   .arg(fiber,
                        query.cable.isEmpty() ? QString()
                                              : QStringLiteral(" do cabo %1").arg(query.cable));
    }
    return Sound;
}

int ArchiveCommand::baseline(const Archive::Archive &archive,
                             const QString &path,
                             QVector<Archive::Record> &records,
                             QTextStream &err)
{
    int status = Sound;
    const std::optional<Sor::Trace> trace = CommandLine::openTrace(path, err, status);
    if (!trace)
        return status;
    QString why;
    const std::optional<Archive::Record> found = archive.baselineOf(*trace, &why);
    // As compare --baseline auto: a trace with nothing to be compared with is refused.
    if (!found) {
        err << "otdr-sor: " << path << ": " << why << "\n";
        return Usage;
    }
    records << *found;
    return Sound;
}

void ArchiveCommand::print(const QVector<Archive::Record> &records,
                           bool oneBaseline,
                           const QCommandLineParser &parser,
                           QTextStream &out) const
{
    if (parser.isSet(formats.json)) {
        QJsonArray list;
        for (const Archive::Record &r : records)
            list.append(Archive::toJson(r));
        out << QJsonDocument(oneBaseline ? list.first().toObject() : QJsonObject{{"traces", list}})
                   .toJson(QJsonDocument::Indented);
    } else if (parser.isSet(formats.csv)) {
        out << Archive::csv(records, Sor::CsvStyle::ofUser());
    } else if (oneBaseline) {
        out << records.first().path() << "\n";
    } else {
        out << Archive::table(records);
    }
}

} // namespace

Command::Declaration archiveCommand()
{
    static const ArchiveCommand archive;
    return {QStringLiteral("archive"),
            QStringLiteral("o arquivo de traços: indexa, procura, histórico, linha de base"),
            {{QStringLiteral("AÇÃO"),
              QStringLiteral("add PASTA... indexa; find procura; history FIBRA lista a fibra no "
                             "tempo; baseline TRAÇO diz a linha de base do traço."),
              1,
              Command::Any,
              QStringLiteral("(add PASTA... | find | history FIBRA | baseline TRAÇO)")}},
            archive.choices(),
            [](const QStringList &args,
               const QCommandLineParser &parser,
               QTextStream &out,
               QTextStream &err) { return archive.run(args, parser, out, err); }};
}

namespace CommandLine {

std::optional<QString> archivedBaseline(const Sor::Trace &now, const QString &db, QString *why)
{
    const std::unique_ptr<Archive::Archive> archive = Archive::Archive::open(db, why, false);
    if (!archive) {
        *why = QStringLiteral("arquivo de traços: %1").arg(*why);
        return std::nullopt;
    }
    const std::optional<Archive::Record> found = archive->baselineOf(now, why);
    if (!found)
        return std::nullopt;
    // A shared archive knows copies on other machines: one here is needed.
    const QString host = QSysInfo::machineHostName();
    for (const Archive::Place &p : found->places) {
        if (!p.gone && p.host == host && QFileInfo::exists(p.path))
            return p.path;
    }
    const Archive::Place &elsewhere = found->places.value(0);
    *why = QStringLiteral("a linha de base está em %1:%2, não nesta máquina")
               .arg(elsewhere.host, elsewhere.path);
    return std::nullopt;
}

} // namespace CommandLine
