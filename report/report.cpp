#include "report/report.h"

#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cmath>

namespace Report {

namespace {
constexpr int FirstPageRows = 36;
constexpr int PageRows = 56;

// A CSV field: quoted when it holds a separator, a quote or a line break.
QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\""))
           + QLatin1Char('"');
}

// The event that most needs the reader's eye: the worst failing one, else the lossiest.
QString worstEvent(const Entry &e)
{
    const Acceptance::JudgedEvent *worst = nullptr;
    for (const Acceptance::JudgedEvent &event : e.judgement.events) {
        if (event.end)
            continue;
        const bool failing = event.verdict == Acceptance::Verdict::Fail;
        const bool worstFails = worst && worst->verdict == Acceptance::Verdict::Fail;
        if (!worst || (failing && !worstFails)
            || (failing == worstFails && event.lossDb > worst->lossDb))
            worst = &event;
    }
    if (!worst)
        return QString();
    return QStringLiteral("%1: %2 dB").arg(worst->number).arg(Sor::decimal(worst->lossDb, 3));
}

} // namespace

QVector<Entry> judgeFiles(const QStringList &paths, const Options &options)
{
    QVector<Entry> entries;
    for (const QString &path : paths) {
        Entry e;
        e.path = path;
        // A folder is named as the other commands name it.
        e.trace = QFileInfo(path).isDir() ? Sor::Trace() : Sor::readFile(path);
        if (QFileInfo(path).isDir())
            e.trace.errors << QStringLiteral("é uma pasta");
        e.readable = e.trace.points() > 0;
        if (!e.readable) {
            e.problem = e.trace.errors.isEmpty()
                            ? QStringLiteral("o arquivo não traz pontos de traço")
                            : e.trace.errors.first();
        } else if (e.trace.damaged()) {
            e.problem = Sor::damageText(e.trace, Sor::DamageWording::Command);
        }
        if (e.readable && options.reanalyze) {
            const Analysis::Result found = Analysis::analyze(e.trace, options.thresholds);
            e.link = Acceptance::analysedLink(e.trace, found);
            e.trace.keyEvents = Analysis::asKeyEvents(found);
        } else {
            e.link = Acceptance::fileLink(e.trace);
        }
        e.link.damaged = e.link.damaged || !e.readable;
        e.judgement = Acceptance::judge(e.link, options.limits);
        entries.append(e);
    }
    return entries;
}

QStringList summaryHeader()
{
    return {QStringLiteral("Arquivo"),
            QStringLiteral("Cabo"),
            QStringLiteral("Fibra"),
            QStringLiteral("λ (nm)"),
            QStringLiteral("Compr. (km)"),
            QStringLiteral("Perda (dB)"),
            QStringLiteral("Pior evento"),
            QStringLiteral("Veredito")};
}

QStringList summaryRow(const Entry &e)
{
    const Sor::Trace &t = e.trace;
    const auto optional = [](const std::optional<double> &v, double scale, int decimals) {
        return v ? Sor::decimal(*v * scale, decimals) : QString();
    };
    return {QFileInfo(e.path).fileName(),
            t.general ? t.general->cableId : QString(),
            t.general ? t.general->fiberId : QString(),
            t.wavelengthNm ? QString::number(*t.wavelengthNm) : QString(),
            optional(e.link.lengthM, 0.001, 3),
            optional(e.link.totalLossDb, 1, 3),
            worstEvent(e),
            Acceptance::verdictWord(e.judgement.verdict)};
}

int summaryRowsOnFirstPage()
{
    return FirstPageRows;
}

int summaryRowsPerPage()
{
    return PageRows;
}

int summaryPages(int entries)
{
    const int rest = std::max(0, entries - FirstPageRows);
    return 1 + (rest + PageRows - 1) / PageRows;
}

int pageCount(int entries)
{
    return summaryPages(entries) + entries;
}

bool writeCsv(const QVector<Entry> &entries, const QString &path, QString *error)
{
    QString text = summaryHeader().join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const Entry &e : entries) {
        QStringList fields;
        for (const QString &field : summaryRow(e))
            fields << csvField(field);
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace Report
