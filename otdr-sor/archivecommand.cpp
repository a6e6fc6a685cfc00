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
        if (formats.both(parser))
            return std::nullopt;
        const QString action = args.first();
        const QStringList rest = args.mid(1);
        if (!QStringList{"add", "find", "history", "baseline"}.contains(action))
            err << QStringLiteral("otdr-sor: archive: subcomando desconhecido: %1\n").arg(action);
        if ((action == QLatin1String("add") && rest.isEmpty())
            || (action == QLatin1String("find") && !rest.isEmpty())
            || ((action == QLatin1String("history") || action == QLatin1String("baseline"))
                && rest.size() != 1)
            || !QStringList{"add", "find", "history", "baseline"}.contains(action))
            return std::nullopt;
        if (action == QLatin1String("history") && rest.first().trimmed().isEmpty()) {
            err << QStringLiteral("otdr-sor: archive history: diga de que fibra (p. ex. archive "
                                  "history F07 --cable ELM-MIL)\n");
            return Usage;
        }
        std::optional<Acceptance::Limits> chosen;
        if (!limits.read(parser, chosen, err))
            return Usage;
        Archive::Query query;
        query.cable = parser.value(cable);
        query.fiber = parser.value(fiber);
        query.condition = parser.value(condition);
        query.maker = parser.value(maker);
        query.verdict = parser.value(verdict);
        query.text = parser.value(text);
        if (parser.isSet(wavelength)) {
            bool ok = false;
            query.bandNm = parser.value(wavelength).toInt(&ok);
            if (!ok || query.bandNm < 600 || query.bandNm > 1700) {
                err << QStringLiteral("otdr-sor: comprimento de onda inválido: %1\n")
                           .arg(parser.value(wavelength));
                return Usage;
            }
        }
        for (const auto &[option, date] :
             {std::pair{&from, &query.from}, std::pair{&to, &query.to}}) {
            if (!parser.isSet(*option))
                continue;
            const QDate d = QDate::fromString(parser.value(*option), Qt::ISODate);
            if (!d.isValid()) {
                err << QStringLiteral("otdr-sor: data inválida: %1 (AAAA-MM-DD)\n")
                           .arg(parser.value(*option));
                return Usage;
            }
            *date = d;
        }
        QString why;
        const std::unique_ptr<Archive::Archive> archive
            = Archive::Archive::open(parser.value(db), &why, action == QLatin1String("add"));
        if (!archive) {
            err << QStringLiteral("otdr-sor: arquivo de traços: %1\n").arg(why);
            return Usage;
        }
        if (action == QLatin1String("add")) {
            const Archive::AddResult r = archive->add(rest, chosen);
            out << QStringLiteral("%1 arquivos: %2 lidos, %3 sem mudança; %4 traços novos, %5 "
                                  "cópias ou mudanças de lugar, %6 danificados; %7 sumiram\n")
                       .arg(r.files)
                       .arg(r.read)
                       .arg(r.unchanged)
                       .arg(r.newTraces)
                       .arg(r.newPlaces)
                       .arg(r.damaged)
                       .arg(r.gone);
            for (const QString &e : r.errors)
                err << "otdr-sor: " << e << "\n";
            return r.errors.isEmpty() ? Sound : Damaged;
        }
        QVector<Archive::Record> records;
        if (action == QLatin1String("find")) {
            records = archive->find(query);
        } else if (action == QLatin1String("history")) {
            records = archive->history(rest.first(), query.cable);
            if (records.isEmpty() && archive->lastError().isEmpty()) {
                err << QStringLiteral("otdr-sor: archive history: nenhum traço da fibra %1%2 no "
                                      "arquivo\n")
                           .arg(rest.first(),
                                query.cable.isEmpty()
                                    ? QString()
                                    : QStringLiteral(" do cabo %1").arg(query.cable));
                return Damaged;
            }
        } else {
            int status = Sound;
            const std::optional<Sor::Trace> trace
                = CommandLine::openTrace(rest.first(), err, status);
            if (!trace)
                return status;
            const std::optional<Archive::Record> found = archive->baselineOf(*trace, &why);
            if (!found) {
                err << "otdr-sor: " << rest.first() << ": " << why << "\n";
                return Damaged;
            }
            records << *found;
        }
        if (!archive->lastError().isEmpty()) {
            err << QStringLiteral("otdr-sor: arquivo de traços: %1\n").arg(archive->lastError());
            return Damaged;
        }
        if (parser.isSet(formats.json)) {
            QJsonArray list;
            for (const Archive::Record &r : records)
                list.append(Archive::toJson(r));
            out << QJsonDocument(action == QLatin1String("baseline")
                                     ? list.first().toObject()
                                     : QJsonObject{{"traces", list}})
                       .toJson(QJsonDocument::Indented);
        } else if (parser.isSet(formats.csv)) {
            out << Archive::csv(records, Sor::CsvStyle::ofUser());
        } else if (action == QLatin1String("baseline")) {
            out << records.first().path() << "\n";
        } else {
            out << Archive::table(records);
        }
        return Sound;
    }

private:
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
                                     QStringLiteral("Só com este veredito (APROVADO, "
                                                    "REPROVADO, …)."),
                                     QStringLiteral("V")};
    const QCommandLineOption text{QStringLiteral("text"),
                                  QStringLiteral("Palavras nos rótulos, no fabricante ou no "
                                                 "caminho."),
                                  QStringLiteral("PALAVRAS")};
    const CommandLine::Formats formats{QStringLiteral("O resultado em JSON."),
                                       QStringLiteral("O resultado em CSV.")};
};

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
