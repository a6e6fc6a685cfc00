#include "cable/cablejob.h"
#include "cable/cabletable.h"

#include "sor/sortext.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <functional>

namespace Cable {

namespace {

// A loss in the table; its mark is matrixMark's.
QString matrixText(const Cell &c)
{
    return c.lossDb ? Sor::decimal(*c.lossDb, 3) : QStringLiteral("ausente");
}

// "*" where the loss was measured on the points rather than found.
QString matrixMark(const Cell &c)
{
    return c.lossDb && measuredOnPoints(c) ? QStringLiteral("*") : QString();
}

} // namespace

QString bendsText(const Fibre &f)
{
    return f.bends ? QString::number(*f.bends) : QStringLiteral("—");
}

QString matrixCsv(const Job &job, const Sor::CsvStyle &style)
{
    const Sor::TableColumns<Cell> columns = cellColumns(job);
    QString text = Sor::csvHeading(columns, style) + QLatin1Char('\n');
    for (const Cell &c : job.matrix)
        text += Sor::csvLine(columns, c, style) + QLatin1Char('\n');
    return text;
}

QVector<CheckList> checkLists(const Checks &checks)
{
    return {
        {QStringLiteral("Configurações diferentes"), QStringLiteral("nenhuma"), checks.settings},
        {QStringLiteral("Duplicados"), QStringLiteral("nenhum"), checks.duplicates},
        {QStringLiteral("Medidas repetidas"), QStringLiteral("nenhuma"), checks.repeated},
        {QStringLiteral("Faltando"), QStringLiteral("nada"), checks.missing},
        {QStringLiteral("Comprimento fora da mediana"),
         QStringLiteral("nenhum"),
         checks.lengthOutliers},
        {QStringLiteral("Escala de comprimento fora das outras"),
         QStringLiteral("nenhuma"),
         checks.scaleOutliers},
        {QStringLiteral("Pontas em dúvida"), QStringLiteral("nenhuma"), checks.ends},
        {QStringLiteral("Bobinas nas pontas"), QStringLiteral("nenhuma"), checks.cords}};
}

QStringList checkLines(const Job &job)
{
    QStringList lines;
    for (const CheckList &check : checkLists(job.checks)) {
        lines << QStringLiteral("%1: %2").arg(
            check.title, check.lines.isEmpty() ? check.none : QString::number(check.lines.size()));
        for (const QString &line : check.lines)
            lines << QStringLiteral("    ") + line;
    }
    for (const File &f : job.files) {
        if (!f.problem.isEmpty())
            lines << QStringLiteral("Não usado: %1: %2").arg(f.name, f.problem);
    }
    return lines;
}

QStringList baselineLines(const Job &job)
{
    if (!job.baseline)
        return {};
    const SinceBaseline &b = *job.baseline;
    QStringList lines{
        QStringLiteral("Desde a linha de base (%1): %2")
            .arg(b.label, b.changed() ? QStringLiteral("mudou") : QStringLiteral("sem mudança"))};
    lines << b.changes;
    for (const QString &c : b.newClosures)
        lines << QStringLiteral("nova: %1").arg(c);
    for (const QString &c : b.goneClosures)
        lines << QStringLiteral("sumiu: %1").arg(c);
    if (!b.fibresWithout.isEmpty())
        lines << QStringLiteral("fibras que a base não tem: %1")
                     .arg(b.fibresWithout.join(QStringLiteral(", ")));
    return lines;
}

namespace {

QString fibresText(const Job &job)
{
    const Sor::TableColumns<Fibre> columns = fibreColumns(job.baseline.has_value());
    QString text = Sor::textHeading(columns) + QLatin1Char('\n');
    for (const Fibre &f : job.fibres)
        text += Sor::textLine(columns, f, QStringLiteral("—")) + QLatin1Char('\n');
    return text;
}

QString cordsText(const Job &job)
{
    QString text;
    for (const Fibre &f : job.fibres) {
        for (const std::optional<Connector> &c : {f.launchConnector, f.receiveConnector}) {
            if (!c)
                continue;
            if (text.isEmpty())
                text += QStringLiteral("\nConectores dos cordões (perda, refletância):\n");
            text += QStringLiteral("  %1 %2: %3 dB, %4 dB %5\n")
                        .arg(f.fiber, -12)
                        .arg(Sor::kilometres(c->distanceM))
                        .arg(Sor::optionalDecimal(c->lossDb, 3, QStringLiteral("—")),
                             Sor::optionalDecimal(c->reflectanceDb, 2, QStringLiteral("—")),
                             connectorVerdictText(*c));
        }
    }
    return text;
}

// One band's grid, a row per fibre and a column per closure; `cell` writes a cell that is
// there, `none` one that is not. Where `mark` is given, each column keeps a place for a mark
// after its values, so that a marked value stands under its heading as an unmarked one does.
QString gridText(const Job &job,
                 int band,
                 const QStringList &columns,
                 const std::function<QString(const Cell &)> &cell,
                 const std::function<QString(const Closure &)> &none,
                 const std::function<QString(const Cell &)> &mark = nullptr)
{
    constexpr int CellWidth = 10;
    const int markWidth = mark ? 1 : 0;
    QHash<QString, const Cell *> cells;
    for (const Cell &m : job.matrix) {
        if (m.bandNm == band)
            cells.insert(m.fiber + QLatin1Char('\n') + QString::number(m.closure), &m);
    }
    QVector<int> widths;
    for (const QString &column : columns)
        widths << std::max(CellWidth - markWidth, int(column.size()));
    QStringList lines{QStringLiteral("%1").arg(QStringLiteral("Fibra"), -12)};
    for (int i = 0; i < columns.size(); ++i)
        lines.last()
            += QStringLiteral(" %1%2").arg(columns.at(i), widths.at(i)).arg(QString(), -markWidth);
    for (const Fibre &f : job.fibres) {
        QString line = QStringLiteral("%1").arg(f.fiber, -12);
        for (int i = 0; i < job.closures.size(); ++i) {
            const Closure &c = job.closures.at(i);
            const Cell *m = cells.value(f.fiber + QLatin1Char('\n') + QString::number(c.number));
            const QString value = m ? cell(*m) : QString();
            const QString marked = m && mark ? mark(*m) : QString();
            line += QStringLiteral(" %1%2")
                        .arg(value.isEmpty() ? none(c) : value, widths.value(i, CellWidth))
                        .arg(marked, -markWidth);
        }
        lines << line;
    }
    QString text;
    for (const QString &line : std::as_const(lines)) {
        QString trimmed = line;
        while (trimmed.endsWith(QLatin1Char(' ')))
            trimmed.chop(1);
        text += trimmed + QLatin1Char('\n');
    }
    return text;
}

QString matrixTables(const Job &job)
{
    QStringList columns;
    for (const Closure &c : job.closures)
        columns << QStringLiteral("%1@%2")
                       .arg(closureTitle(c))
                       .arg(Sor::decimal(c.distanceM / 1000, 2));
    QString text;
    for (int band : job.bands) {
        text += QStringLiteral("\nPerda média por emenda em %1 nm (dB; * medida nos pontos; C: "
                               "conector):\n")
                    .arg(band);
        text += gridText(
            job,
            band,
            columns,
            matrixText,
            [](const Closure &) { return QStringLiteral("—"); },
            matrixMark);
    }
    return text;
}

QString baselineTables(const Job &job)
{
    const SinceBaseline &b = *job.baseline;
    QStringList columns;
    for (const Closure &c : job.closures)
        columns << closureTitle(c);
    QString text;
    for (int band : job.bands) {
        text += QStringLiteral("\nMudança desde a linha de base em %1 nm (dB; nova: emenda "
                               "que a base não tem):\n")
                    .arg(band);
        const auto change = [](const Cell &m) {
            return m.changeDb ? Sor::signedDecimal(*m.changeDb, 3) : QString();
        };
        const auto none = [&b](const Closure &c) {
            return b.closureOf.value(c.number - 1) == 0 ? QStringLiteral("nova")
                                                        : QStringLiteral("—");
        };
        text += gridText(job, band, columns, change, none);
    }
    const QStringList lines = baselineLines(job);
    text += QLatin1Char('\n') + lines.first() + QLatin1Char('\n');
    for (const QString &line : lines.mid(1))
        text += QStringLiteral("  %1\n").arg(line);
    return text;
}

} // namespace

QString table(const Job &job)
{
    QString text = QStringLiteral("Fibras: %1   %2   Tolerância: %3 m\n\n")
                       .arg(job.fibres.size())
                       .arg(closureCounts(job.closures), Sor::decimal(job.toleranceM, 1));
    text += fibresText(job) + cordsText(job) + matrixTables(job);
    if (job.baseline)
        text += baselineTables(job);
    if (job.routeCalibration) {
        const Route::Calibration &c = *job.routeCalibration;
        text += QStringLiteral("\nNa rota: EFL %1 %, %2 m antes da origem\n")
                    .arg(Sor::decimal(100 * c.model.efl, 3), Sor::decimal(c.model.offsetM, 1));
        for (const QString &w : c.warnings)
            text += QStringLiteral("  %1\n").arg(w);
    }
    text += QStringLiteral("\nVerificações:\n");
    for (const QString &line : checkLines(job))
        text += QStringLiteral("  %1\n").arg(line);
    return text;
}

} // namespace Cable
