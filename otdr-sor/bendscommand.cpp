#include "acceptance/twowayjson.h"
#include "sor/sortext.h"
#include "twowaycommand.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QTextStream>

namespace {

const QCommandLineOption threshold = CommandLine::bendThresholdOption();
const TwoWayChoices twoWay;

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

// otdr-sor bends: one fibre at a shorter and a longer wavelength, bends flagged.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    TwoWayOptions options;
    double thresholdDb = Acceptance::DefaultBendThresholdDb;
    if (!twoWay.read(parser, options, err)
        || !CommandLine::bendThreshold(parser, threshold, thresholdDb, err))
        return Command::Usage;
    const QString &shorter = files.at(0);
    const QString &longer = files.at(1);
    int status = Command::Sound;
    const auto both
        = loadBoth(files, options.reanalyze, Acceptance::wavelengthsProblem, status, err);
    if (!both)
        return status;
    const auto &[s, l] = *both;
    const Acceptance::Wavelengths w
        = Acceptance::compareWavelengths(s, l, thresholdDb, options.toleranceM);
    if (options.json)
        out << QJsonDocument(Acceptance::toJson(w, shorter, longer))
                   .toJson(QJsonDocument::Indented);
    else
        printWavelengths(w, s, l, out);
    return status;
}

} // namespace

Command::Declaration bendsCommand()
{
    return {QStringLiteral("bends"),
            QStringLiteral("dois comprimentos de onda de uma fibra: curvaturas"),
            {{QStringLiteral("CURTO"), QStringLiteral("O traço no comprimento de onda menor.")},
             {QStringLiteral("LONGO"), QStringLiteral("O traço no comprimento de onda maior.")}},
            QList<Command::Choice>{{{threshold}}} + twoWay.choices(),
            run};
}
