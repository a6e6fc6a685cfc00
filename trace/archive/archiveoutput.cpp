#include "archive/archive.h"
#include "archive/columns.h"

namespace Archive {

namespace {

// A line of the terminal's table: each column in its width; the path, free, stands two spaces
// apart, past a verdict longer than its column.
QString tableLine(const std::function<QString(const Column &)> &text)
{
    QString line;
    for (const Column &c : columns()) {
        if (!c.cell)
            continue;
        if (!line.isEmpty())
            line += c.width == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
        line += QStringLiteral("%1").arg(text(c), c.width);
    }
    return line + QLatin1Char('\n');
}

// A count and its noun: one in the singular, none and many in the plural.
QString counted(int n, const QString &one, const QString &many)
{
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

} // namespace

QJsonObject toJson(const Record &r)
{
    QJsonObject o;
    for (const Column &c : columns()) {
        if (c.json)
            o.insert(c.key, c.json(r));
    }
    return o;
}

QString table(const QVector<Record> &records)
{
    QString out = tableLine(
        [](const Column &c) { return c.shortHeading.isEmpty() ? c.heading : c.shortHeading; });
    const TableStyle terminal;
    for (const Record &r : records)
        out += tableLine([&](const Column &c) { return c.cell(r, terminal); });
    out += QStringLiteral("%1 traço%2\n").arg(records.size()).arg(records.size() == 1 ? "" : "s");
    return out;
}

QString csv(const QVector<Record> &records, const Sor::CsvStyle &style)
{
    QStringList headings;
    for (const Column &c : columns()) {
        if (c.csv)
            headings << c.key;
    }
    QString out = Sor::csvRow(headings, style) + QLatin1Char('\n');
    for (const Record &r : records) {
        QStringList fields;
        for (const Column &c : columns()) {
            if (c.csv)
                fields << c.csv(r, style);
        }
        out += Sor::csvRow(fields, style) + QLatin1Char('\n');
    }
    return out;
}

QString summary(const AddResult &r)
{
    QString line
        = QStringLiteral("%1: %2, %3 sem mudança; %4, %5, %6; %7")
              .arg(counted(r.files, QStringLiteral("arquivo"), QStringLiteral("arquivos")),
                   counted(r.read, QStringLiteral("lido"), QStringLiteral("lidos")))
              .arg(r.unchanged)
              .arg(counted(
                       r.newTraces, QStringLiteral("traço novo"), QStringLiteral("traços novos")),
                   counted(r.newPlaces,
                           QStringLiteral("cópia ou mudança de lugar"),
                           QStringLiteral("cópias ou mudanças de lugar")),
                   counted(r.damaged, QStringLiteral("danificado"), QStringLiteral("danificados")),
                   counted(r.gone, QStringLiteral("sumiu"), QStringLiteral("sumiram")));
    if (!r.notTraces.isEmpty())
        line += QStringLiteral("; %1").arg(
            counted(r.notTraces.size(),
                    QStringLiteral("ignorado (não é um traço SOR)"),
                    QStringLiteral("ignorados (não são traços SOR)")));
    return line;
}

} // namespace Archive
