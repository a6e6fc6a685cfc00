#include "twowaycommand.h"

#include "acceptance/direction.h"
#include "acceptance/twowayjson.h"
#include "analysis/analysis.h"
#include "commandline.h"
#include "sor/sortext.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

// A file's events as the comparison takes them; nothing when it has none to give.
std::optional<Acceptance::Measurement>
load(const QString &path, bool reanalyze, int &status, QTextStream &err)
{
    // The analysis needs points; the file's own events need only a trace, however damaged.
    const std::optional<Sor::Trace> opened = CommandLine::openTrace(
        path, err, status, reanalyze ? CommandLine::Need::Points : CommandLine::Need::Bytes);
    if (!opened)
        return std::nullopt;
    const Sor::Trace &trace = *opened;
    const QString name = QFileInfo(path).fileName();
    if (trace.damaged()) {
        CommandLine::fileProblem(err, path, CommandLine::damage(trace));
        status = std::max(status, int(Command::Damaged));
    }
    if (reanalyze) {
        const Analysis::Result found = Analysis::analyze(trace);
        return Acceptance::measurementOf(name, trace, Acceptance::analysedLink(trace, found));
    }
    // A file that stores no events is taken with the analysis' of its points.
    Sor::Trace withEvents = trace;
    const Acceptance::Link link = Acceptance::eventsLink(withEvents);
    return Acceptance::measurementOf(name, withEvents, link);
}

// Both files' events, each file's problem said; none when either has none to give, or when
// `problemOf` finds they are not what the command compares: then `refused` and the problem on
// `err`, and `status` Usage.
std::optional<std::pair<Acceptance::Measurement, Acceptance::Measurement>>
loadBoth(const QString &first,
         const QString &second,
         bool reanalyze,
         QString (*problemOf)(const Acceptance::Measurement &, const Acceptance::Measurement &),
         const QString &refused,
         int &status,
         QTextStream &err)
{
    auto a = load(first, reanalyze, status, err);
    auto b = load(second, reanalyze, status, err);
    if (!a || !b) {
        status = std::max(status, int(Command::Damaged));
        return std::nullopt;
    }
    const QString problem = problemOf(*a, *b);
    if (!problem.isEmpty()) {
        err << QStringLiteral("otdr-sor: ") << refused << problem << "\n";
        status = Command::Usage;
        return std::nullopt;
    }
    return std::make_pair(std::move(*a), std::move(*b));
}

void printTwoWay(const Acceptance::TwoWay &t,
                 const Acceptance::Measurement &a,
                 const Acceptance::Measurement &b,
                 QTextStream &out)
{
    out << QStringLiteral("A: %1   B: %2   (%3, %4 ns)\n")
               .arg(a.name,
                    b.name,
                    Sor::wavelengthText(a.link.wavelengthNm.value_or(0)),
                    QString::number(a.pulseNs));
    out << QStringLiteral("Deslocamento comum removido: %1 m; tolerância: %2 m\n")
               .arg(Sor::decimal(t.shiftM, 1), Sor::decimal(t.toleranceM, 1));
    out << QStringLiteral("  Nº  Distância de A (km)  Perda A→B (dB)  Perda B→A (dB)  Média (dB)"
                          "  Refletância (dB)  Visto de\n");
    int number = 0;
    bool measured = false;
    // A loss an end does not store, measured on its own points, is marked.
    const auto loss = [&measured](const std::optional<double> &v, bool here) {
        measured = measured || here;
        return Sor::optionalDecimal(v) + (here ? QStringLiteral("*") : QString());
    };
    for (const Acceptance::TwoWayEvent &e : t.events) {
        out << "  " << QString::number(++number).leftJustified(4)
            << Sor::decimal(e.distanceM / 1000.0, 4).rightJustified(19)
            << loss(e.lossAbDb, e.measuredA).rightJustified(16)
            << loss(e.lossBaDb, e.measuredB).rightJustified(16)
            << Sor::measuredText(e.lossDb, 3).rightJustified(12)
            << Sor::optionalDecimal(e.reflectanceDb, 2).rightJustified(19) << "  "
            << Acceptance::seenFromText(e.seenFrom) << "\n";
    }
    if (measured)
        out << QStringLiteral("* medido aqui: essa ponta não grava o evento; a perda foi medida "
                              "nos seus pontos, no lugar que a outra ponta achou\n");
    out << QStringLiteral("Comprimento da fibra: %1   Perda total (média das duas pontas): %2\n")
               .arg(t.fiberLengthM ? Sor::kilometres(*t.fiberLengthM) : QStringLiteral("—"),
                    t.totalLossDb ? Sor::decimal(*t.totalLossDb, 3) + QStringLiteral(" dB")
                                  : QStringLiteral("—"));
}

void printWavelengths(const Acceptance::Wavelengths &w,
                      const Acceptance::Measurement &s,
                      const Acceptance::Measurement &l,
                      QTextStream &out)
{
    const QString ws = Sor::wavelengthText(s.link.wavelengthNm.value_or(0));
    const QString wl = Sor::wavelengthText(l.link.wavelengthNm.value_or(0));
    out << QStringLiteral("%1 (%2) contra %3 (%4); curvatura: perda %5 dB maior em %4\n")
               .arg(s.name, ws, l.name, wl, Sor::decimal(w.thresholdDb, 2));
    out << QStringLiteral("  Nº  Distância (km)  Perda %1 (dB)  Perda %2 (dB)  Aten. %1  Aten. %2"
                          "  Curvatura\n")
               .arg(ws, wl);
    int number = 0;
    for (const Acceptance::WavelengthEvent &e : w.events) {
        QStringList flags;
        if (e.bend)
            flags << QStringLiteral("SIM");
        if (e.sectionBend)
            flags << QStringLiteral("no trecho");
        out << "  " << QString::number(++number).leftJustified(4)
            << Sor::decimal(e.distanceM / 1000.0, 4).rightJustified(14)
            << Sor::optionalDecimal(e.lossShortDb).rightJustified(ws.size() + 13)
            << Sor::optionalDecimal(e.lossLongDb).rightJustified(wl.size() + 13)
            << Sor::optionalDecimal(e.attenuationShortDbKm).rightJustified(ws.size() + 8)
            << Sor::optionalDecimal(e.attenuationLongDbKm).rightJustified(wl.size() + 8) << "  "
            << flags.join(QStringLiteral(", ")) << "\n";
    }
    out << QStringLiteral("Curvaturas: %1\n").arg(w.bends());
}

} // namespace

int bidirFiles(const QString &fileA,
               const QString &fileB,
               const TwoWayOptions &options,
               QTextStream &out,
               QTextStream &err)
{
    int status = Command::Sound;
    const auto both = loadBoth(fileA,
                               fileB,
                               options.reanalyze,
                               Acceptance::directionsProblem,
                               QStringLiteral("não são as duas pontas de uma fibra: "),
                               status,
                               err);
    if (!both)
        return status;
    const auto &[a, b] = *both;
    // The traces say which ends they were taken from where they can; what the files say of
    // themselves may be wrong (a template's places): --force pairs them anyway, saying so.
    QString identity;
    const Acceptance::EndsEvidence ends
        = Acceptance::endsOf(fileA, a, fileB, b, options.toleranceM, identity);
    if (!identity.isEmpty() && !options.force) {
        err << QStringLiteral("otdr-sor: não são as duas pontas de uma fibra: ") << identity
            << QStringLiteral(" (--force compara assim mesmo)\n");
        return Command::Usage;
    }
    if (!identity.isEmpty())
        err << QStringLiteral("otdr-sor: aviso: ") << identity << "\n";
    if (!ends.warning.isEmpty())
        err << QStringLiteral("otdr-sor: aviso: ") << ends.warning << "\n";
    const Acceptance::TwoWay t = Acceptance::averageDirections(a, b, options.toleranceM);
    if (options.json) {
        QJsonObject json = Acceptance::toJson(t, fileA, fileB);
        json[QStringLiteral("pairing")] = Acceptance::toJson(ends);
        out << QJsonDocument(json).toJson(QJsonDocument::Indented);
    } else {
        out << QStringLiteral("Pontas: ") << Acceptance::endsSentence(ends) << "\n";
        printTwoWay(t, a, b, out);
    }
    return status;
}

int bendsFiles(const QString &shorter,
               const QString &longer,
               const TwoWayOptions &options,
               QTextStream &out,
               QTextStream &err)
{
    int status = Command::Sound;
    const auto both = loadBoth(
        shorter, longer, options.reanalyze, Acceptance::wavelengthsProblem, {}, status, err);
    if (!both)
        return status;
    const auto &[s, l] = *both;
    const Acceptance::Wavelengths w
        = Acceptance::compareWavelengths(s, l, options.thresholdDb, options.toleranceM);
    if (options.json)
        out << QJsonDocument(Acceptance::toJson(w, shorter, longer))
                   .toJson(QJsonDocument::Indented);
    else
        printWavelengths(w, s, l, out);
    return status;
}

bool TwoWayChoices::read(const QCommandLineParser &parser,
                         TwoWayOptions &options,
                         QTextStream &err) const
{
    options.json = parser.isSet(json);
    options.reanalyze = parser.isSet(eventsFound);
    return CommandLine::numberOption(parser,
                                     tolerance,
                                     CommandLine::Least::Positive,
                                     QStringLiteral("tolerância inválida"),
                                     options.toleranceM,
                                     err);
}
