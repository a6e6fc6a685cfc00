#include "acceptance/direction.h"
#include "acceptance/twowayjson.h"
#include "analysis/unfound.h"
#include "sor/sortext.h"
#include "twowaycommand.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

const TwoWayChoices twoWay;
const QCommandLineOption force{
    QStringLiteral("force"),
    QStringLiteral("Compara assim mesmo dois arquivos que parecem não ser as duas pontas "
                   "de uma fibra (o mesmo arquivo, fibras diferentes, o mesmo local A).")};

// Whether the two-way table holds an event at an end's distance (B's mirrored onto A's axis).
bool inTable(const Acceptance::TwoWay &t, bool fromB, double distanceM)
{
    double x = distanceM;
    if (fromB) {
        if (!t.lengthAM || !t.lengthBM || !(*t.lengthBM > 0))
            return false;
        x = (*t.lengthBM - distanceM) * (*t.lengthAM / *t.lengthBM) - t.shiftM;
    }
    return std::any_of(t.events.begin(), t.events.end(), [&](const Acceptance::TwoWayEvent &e) {
        return std::abs(e.distanceM - x) <= t.toleranceM;
    });
}

// With the analysis' events, the files' own that it left out and the table does not hold, each
// end's on its own axis and why: a splice under the loss threshold from both ends is not
// dropped in silence.
QJsonArray storedNotFound(const Acceptance::TwoWay &t,
                          const Acceptance::Measurement &a,
                          const Acceptance::Measurement &b)
{
    QJsonArray left;
    for (const auto *m : {&a, &b}) {
        if (!m->trace)
            continue;
        const Sor::Trace &trace = *m->trace;
        for (const Analysis::Unfound &u :
             Analysis::storedNotFound(trace, Analysis::analyze(trace))) {
            if (inTable(t, m == &b, u.distanceM))
                continue;
            left.append(QJsonObject{
                {QStringLiteral("end"), m == &a ? QStringLiteral("A") : QStringLiteral("B")},
                {QStringLiteral("file"), m->name},
                {QStringLiteral("distance_m"), u.distanceM},
                {QStringLiteral("loss_db"), u.lossDb ? QJsonValue(*u.lossDb) : QJsonValue()},
                {QStringLiteral("why"), u.why}});
        }
    }
    return left;
}

void printStoredNotFound(const QJsonArray &left, QTextStream &out)
{
    if (left.isEmpty())
        return;
    out << QStringLiteral("Eventos gravados que a análise deixou de fora (na distância de cada "
                          "ponta):\n");
    for (const QJsonValue &v : left) {
        const QJsonObject o = v.toObject();
        const QJsonValue loss = o.value(QStringLiteral("loss_db"));
        out << QStringLiteral("  %1 (%2) %3 km: %4%5\n")
                   .arg(o.value(QStringLiteral("end")).toString(),
                        o.value(QStringLiteral("file")).toString(),
                        Sor::decimal(o.value(QStringLiteral("distance_m")).toDouble() / 1000, 4),
                        loss.isNull() ? QString()
                                      : QStringLiteral("%1 dB medidos aqui, ")
                                            .arg(Sor::decimal(loss.toDouble(), 3)),
                        o.value(QStringLiteral("why")).toString());
    }
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

// otdr-sor bidir: the two directions of one fibre matched and averaged, as a table or JSON.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    TwoWayOptions options;
    if (!twoWay.read(parser, options, err))
        return Command::Usage;
    const QString &fileA = files.at(0);
    const QString &fileB = files.at(1);
    int status = Command::Sound;
    const auto notEnds = [](const Acceptance::Measurement &a, const Acceptance::Measurement &b) {
        const QString problem = Acceptance::directionsProblem(a, b);
        return problem.isEmpty()
                   ? problem
                   : QStringLiteral("não são as duas pontas de uma fibra: ") + problem;
    };
    const auto both = loadBoth(files, options.reanalyze, notEnds, status, err);
    if (!both)
        return status;
    const auto &[a, b] = *both;
    // The traces say which ends they were taken from where they can; what the files say of
    // themselves may be wrong (a template's places): --force pairs them anyway, saying so.
    QString identity;
    const Acceptance::EndsEvidence ends
        = Acceptance::endsOf(fileA, a, fileB, b, options.toleranceM, identity);
    if (!identity.isEmpty() && !parser.isSet(force)) {
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
        if (options.reanalyze)
            json[QStringLiteral("stored_not_found")] = storedNotFound(t, a, b);
        out << QJsonDocument(json).toJson(QJsonDocument::Indented);
    } else {
        out << QStringLiteral("Pontas: ") << Acceptance::endsSentence(ends) << "\n";
        printTwoWay(t, a, b, out);
        if (options.reanalyze)
            printStoredNotFound(storedNotFound(t, a, b), out);
    }
    return status;
}

} // namespace

Command::Declaration bidirCommand()
{
    return {QStringLiteral("bidir"),
            QStringLiteral("as duas pontas de uma fibra, eventos casados e a média"),
            {{QStringLiteral("A"), QStringLiteral("O traço medido de A.")},
             {QStringLiteral("B"), QStringLiteral("O traço medido de B.")}},
            twoWay.choices() << Command::Choice{{force}},
            run};
}
