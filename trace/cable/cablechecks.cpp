#include "cable/cableparts.h"

#include "analysis/statistics.h"
#include "sor/sortext.h"

#include <cmath>
#include <functional>

namespace Cable {

namespace {

// A fibre longer or shorter than the cable's median by more than this share is flagged.
constexpr double LengthShare = 0.01;
// A fibre's length scale this many deviations from the others', and this share at least, is
// no helix but a mislabel or a wrong group index.
constexpr double ScaleDeviations = 5;
constexpr double ScaleShare = 0.001;

} // namespace

// Files whose settings differ from the rest of the same end and band.
QStringList settingsChecks(const QVector<const File *> &files)
{
    QMap<QString, QVector<const File *>> groups;
    for (const File *f : files)
        groups[QStringLiteral("%1 %2").arg(f->end).arg(f->bandNm)].append(f);
    QStringList found;
    using Setting = std::function<QString(const File &)>;
    const QList<QPair<QString, Setting>> settings{
        {QStringLiteral("pulso"),
         [](const File &f) {
             return f.trace.fixed && !f.trace.fixed->pulseWidthsNs.isEmpty()
                        ? QStringLiteral("%1 ns").arg(f.trace.fixed->pulseWidthsNs.first())
                        : QString();
         }},
        {QStringLiteral("alcance"),
         [](const File &f) {
             return f.trace.rangeM ? Sor::kilometres(*f.trace.rangeM) : QString();
         }},
        {QStringLiteral("espaçamento"),
         [](const File &f) {
             return f.trace.spacingM ? Sor::decimal(*f.trace.spacingM, 3) + QStringLiteral(" m")
                                     : QString();
         }},
        {QStringLiteral("tempo de média"),
         [](const File &f) {
             return f.trace.fixed && f.trace.fixed->averagingTime
                        ? QStringLiteral("%1 s").arg(*f.trace.fixed->averagingTime / 10.0)
                        : QString();
         }},
        {QStringLiteral("índice de grupo"),
         [](const File &f) {
             return f.trace.groupIndex ? Sor::decimal(*f.trace.groupIndex, 5) : QString();
         }},
        {QStringLiteral("limiares"), [](const File &f) {
             return f.trace.fixed ? Sor::thresholdsText(*f.trace.fixed) : QString();
         }}};
    for (const auto &group : groups) {
        if (group.size() < 3) // two files cannot say which one is odd
            continue;
        for (const auto &setting : settings) {
            QVector<QString> values;
            for (const File *f : group)
                values << setting.second(*f);
            const QString usual = mostCommon(values);
            for (int i = 0; i < group.size(); ++i) {
                if (values.at(i) != usual)
                    found << QStringLiteral("%1: %2 %3 (os outros da ponta %4 em %5 nm: %6)")
                                 .arg(group.at(i)->name,
                                      setting.first,
                                      values.at(i).isEmpty() ? QStringLiteral("—") : values.at(i))
                                 .arg(group.at(i)->end)
                                 .arg(group.at(i)->bandNm)
                                 .arg(usual.isEmpty() ? QStringLiteral("—") : usual);
            }
        }
    }
    return found;
}

// What a fibre lacks that the job has, and whether its length is the cable's.
void fibreChecks(Job &job,
                 const QString &fiber,
                 const QMap<int, Measured> &byBand,
                 const Fibre &summary,
                 bool twoEnded,
                 double spanLength)
{
    for (int band : job.bands) {
        const auto it = byBand.constFind(band);
        if (it == byBand.cend()) {
            job.checks.missing << QStringLiteral("fibra %1: nada em %2 nm").arg(fiber).arg(band);
            continue;
        }
        if (!it.value().a)
            job.checks.missing
                << QStringLiteral("fibra %1: falta a ponta A em %2 nm").arg(fiber).arg(band);
        if (twoEnded && !it.value().b)
            job.checks.missing
                << QStringLiteral("fibra %1: falta a ponta B em %2 nm").arg(fiber).arg(band);
    }
    if (summary.lengthM && spanLength > 0
        && std::abs(*summary.lengthM - spanLength) > LengthShare * spanLength) {
        job.checks.lengthOutliers
            << QStringLiteral("fibra %1: %2, %3 % da mediana do cabo (%4)")
                   .arg(fiber,
                        Sor::kilometres(*summary.lengthM),
                        Sor::decimal(100 * (*summary.lengthM - spanLength) / spanLength, 1),
                        Sor::kilometres(spanLength));
    }
}

// Fibres whose length scale lies far from the others'.
QStringList scaleChecks(const QVector<Fibre> &fibres)
{
    std::vector<double> scales;
    for (const Fibre &f : fibres)
        scales.push_back(f.lengthScale);
    const double middle = Analysis::median(scales);
    const double spread = Analysis::robustDeviation(std::move(scales), middle);
    QStringList found;
    for (const Fibre &f : fibres) {
        const double off = std::abs(f.lengthScale - middle);
        if (off > ScaleDeviations * spread && off > ScaleShare)
            found << QStringLiteral("fibra %1: escala de comprimento %2 (as outras: %3); rótulo "
                                    "trocado ou índice de grupo errado?")
                         .arg(f.fiber, Sor::decimal(f.lengthScale, 4), Sor::decimal(middle, 4));
    }
    return found;
}

} // namespace Cable
