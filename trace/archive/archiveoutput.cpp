#include "archive/archive.h"
#include "archive/columns.h"

#include <algorithm>
#include <cstdlib>

namespace Archive {

namespace {

// The terminal's table: each column as wide as its widest text (its heading, a cell, or the
// width it asks for), so that a long label moves the columns after it on every line alike; the
// path, free, stands two spaces apart.
QString tableOf(const QVector<QStringList> &lines)
{
    QVector<const Column *> shown;
    for (const Column &c : columns()) {
        if (c.cell)
            shown << &c;
    }
    QVector<int> widths;
    for (int i = 0; i < shown.size(); ++i) {
        int widest = std::abs(shown.at(i)->width);
        for (const QStringList &line : lines)
            widest = std::max(widest, int(line.at(i).size()));
        widths << (shown.at(i)->width < 0 ? -widest : widest);
    }
    QString out;
    for (const QStringList &line : lines) {
        QString text;
        for (int i = 0; i < shown.size(); ++i) {
            if (i > 0)
                text += shown.at(i)->width == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
            text += shown.at(i)->width == 0 ? line.at(i)
                                            : QStringLiteral("%1").arg(line.at(i), widths.at(i));
        }
        out += text + QLatin1Char('\n');
    }
    return out;
}

// The texts of a line of the terminal's table, column by column.
QStringList tableTexts(const std::function<QString(const Column &)> &text)
{
    QStringList texts;
    for (const Column &c : columns()) {
        if (c.cell)
            texts << text(c);
    }
    return texts;
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
    QVector<QStringList> lines{tableTexts(
        [](const Column &c) { return c.shortHeading.isEmpty() ? c.heading : c.shortHeading; })};
    const TableStyle terminal;
    for (const Record &r : records)
        lines << tableTexts([&](const Column &c) { return c.cell(r, terminal); });
    QString out = tableOf(lines);
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
