#include "command.h"
#include "sor/sorexport.h"
#include "sor/sorreader.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QJsonDocument>
#include <QTextStream>

namespace {

// otdr-sor export: the trace as JSON (with its points if asked) or its points as CSV.
class ExportCommand : public Command
{
public:
    ExportCommand()
        : Command(QStringLiteral("export"),
                  QStringLiteral("--json|--csv ARQUIVO"),
                  QStringLiteral("o traço em JSON (--points inclui os pontos) ou CSV"))
    {
    }

    QString describe(QCommandLineParser &parser) const override
    {
        parser.addPositionalArgument(QStringLiteral("ARQUIVO"), QStringLiteral("Um traço SOR."));
        parser.addOptions({json, csv, points});
        return QStringLiteral("otdr-sor export --json|--csv [--points] ARQUIVO");
    }

    std::optional<int> run(const QStringList &files,
                           const QCommandLineParser &parser,
                           QTextStream &out,
                           QTextStream &err) const override
    {
        if (files.size() != 1 || parser.isSet(json) == parser.isSet(csv))
            return std::nullopt;
        const QString &path = files.first();
        if (!CommandLine::readable(path, err))
            return Usage;
        const Sor::Trace t = Sor::readFile(path);
        if (parser.isSet(json)) {
            out << QJsonDocument(Sor::toJson(t, parser.isSet(points)))
                       .toJson(QJsonDocument::Indented);
        } else {
            if (t.points() == 0) {
                err << "otdr-sor: " << path << QStringLiteral(": o traço não tem pontos\n");
                return Damaged;
            }
            QBuffer csvText;
            csvText.open(QIODevice::WriteOnly);
            Sor::writeCsv(t, csvText);
            out << QString::fromLatin1(csvText.data());
        }
        return t.damaged() ? Damaged : Sound;
    }

private:
    const QCommandLineOption json{QStringLiteral("json"), QStringLiteral("Exporta em JSON.")};
    const QCommandLineOption csv{QStringLiteral("csv"),
                                 QStringLiteral("Exporta distância e nível por ponto em CSV.")};
    const QCommandLineOption points{QStringLiteral("points"),
                                    QStringLiteral("Inclui os pontos do traço no JSON.")};
};

} // namespace

std::unique_ptr<Command> makeExportCommand()
{
    return std::make_unique<ExportCommand>();
}
