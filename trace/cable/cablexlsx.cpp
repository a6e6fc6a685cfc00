#include "cable/cablexlsx.h"

#include "sor/savefile.h"
#include "sor/sortext.h"
#include "version/version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#ifdef OTDR_HAVE_XLSX
#include "cable/cabletable.h"
#include "cable/xlsxcells.h"
#endif

namespace Cable {

#ifdef OTDR_HAVE_XLSX

using namespace Xlsx;

namespace {

// The job's own sheet: what was measured, when, with what and from where, for whom, by which
// cords and limits, and by which program.
void jobSheet(lxw_workbook *book, const Job &job, const Heading &heading, const Formats &f)
{
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Trabalho");
    const Facts facts = Cable::facts(job);
    const Options &o = job.options;
    QStringList cords;
    if (o.launchM)
        cords << QStringLiteral("lançamento %1 m").arg(Sor::decimal(*o.launchM, 0));
    if (o.receiveM)
        cords << QStringLiteral("recepção %1 m").arg(Sor::decimal(*o.receiveM, 0));
    const QList<QPair<QString, QString>> rows
        = QList<QPair<QString, QString>>{{QStringLiteral("Cabo"), facts.cable},
                                         {QStringLiteral("Cliente"), heading.client},
                                         {QStringLiteral("Empresa"), heading.company},
                                         {QStringLiteral("Operador"), heading.operatorName}}
          + factRows(facts)
          + QList<QPair<QString, QString>>{
              {QStringLiteral("Fibras"), QString::number(job.fibres.size())},
              {QStringLiteral("Emendas e conectores"), closureCounts(job.closures)},
              {QStringLiteral("Tolerância"),
               Sor::decimal(job.toleranceM, 1) + QStringLiteral(" m")},
              {QStringLiteral("Cordões"),
               cords.isEmpty() ? QStringLiteral("nenhum") : cords.join(QStringLiteral(", "))},
              {QStringLiteral("Limites"),
               o.limits.name.isEmpty() ? QStringLiteral("—")
                                       : Acceptance::presetTitle(o.limits.name)}};
    int r = 0;
    text(sheet, r, 0, QStringLiteral("Trabalho"), f.header);
    text(sheet, r++, 1, QString(), f.header);
    for (const auto &row : rows) {
        text(sheet, r, 0, row.first);
        text(sheet, r++, 1, row.second.isEmpty() ? QStringLiteral("—") : row.second);
    }
    for (const Acceptance::LimitRow &limit : Acceptance::limitRows(o.limits)) {
        text(sheet,
             r,
             0,
             limit.wavelengthNm
                 ? QStringLiteral("%1 em %2 nm").arg(limit.label).arg(*limit.wavelengthNm)
                 : limit.label);
        text(sheet, r++, 1, limit.value);
    }
    text(sheet, r, 0, QStringLiteral("Relatório gerado em"));
    text(sheet, r++, 1, heading.made.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
    // Which build wrote the workbook.
    text(sheet, r, 0, QStringLiteral("Programa"));
    text(sheet, r++, 1, Version::label());
    worksheet_set_column(sheet, 0, 0, 32, nullptr);
    worksheet_set_column(sheet, 1, 1, 70, nullptr);
}

// What the matrix sheets' colours, italics and words mean.
QStringList legendLines()
{
    return {QStringLiteral("Legenda"),
            QStringLiteral("A→B, B→A: a perda vista de cada ponta (dB); Média: a das duas, a que é "
                           "julgada"),
            QStringLiteral("Itálico: medida nos pontos do traço (o arquivo não traz o evento)"),
            QStringLiteral("Verde: dentro do limite; vermelho: fora do limite (o mesmo veredito "
                           "que entra no da fibra); sem cor: sem limite"),
            QStringLiteral("Conector: julgado pelo limite de conector; emenda: pelo de emenda"),
            QStringLiteral("ausente: nem o arquivo nem os pontos dessa ponta dão o valor")};
}

} // namespace

bool xlsxAvailable()
{
    return true;
}

bool writeXlsx(const Job &job, const QString &path, QString *error)
{
    return writeXlsx(job, Heading(), path, error);
}

namespace {

// A band's two header rows: per closure its title over A→B, B→A and their mean.
void closureHeaders(lxw_worksheet *sheet, const Job &job, const Formats &f)
{
    text(sheet, 0, 0, QStringLiteral("Fibra"), f.header);
    text(sheet, 1, 0, QString(), f.header);
    for (int c = 0; c < job.closures.size(); ++c) {
        const Closure &closure = job.closures.at(c);
        const int first = 1 + 3 * c;
        const QString title
            = QStringLiteral("%1 %2 (%3 km)")
                  .arg(closure.connector ? QStringLiteral("Conector") : QStringLiteral("Emenda"))
                  .arg(closure.name.isEmpty() ? QString::number(closure.number) : closure.name)
                  .arg(Sor::decimal(closure.distanceM / 1000, 3));
        worksheet_merge_range(
            sheet, 0, lxw_col_t(first), 0, lxw_col_t(first + 2), utf8(title).c_str(), f.header);
        text(sheet, 1, first, QStringLiteral("A→B"), f.header);
        text(sheet, 1, first + 1, QStringLiteral("B→A"), f.header);
        text(sheet, 1, first + 2, QStringLiteral("Média"), f.header);
    }
}

// One cell of the matrix in its fibre's row: each end's value, italic where measured on its
// points, and the mean coloured by its verdict.
void matrixCell(lxw_worksheet *sheet, int row, const Cell &cell, const Formats &f)
{
    const int first = 1 + 3 * (cell.closure - 1);
    const std::optional<double> ends[2] = {cell.lossAbDb, cell.lossBaDb};
    const How hows[2] = {cell.howAb, cell.howBa};
    for (int e = 0; e < 2; ++e) {
        if (ends[e])
            value(sheet, row, first + e, ends[e], f.plain.of(hows[e] == How::Measured));
        else
            text(sheet, row, first + e, QStringLiteral("ausente"), f.absent);
    }
    if (!cell.lossDb) {
        text(sheet, row, first + 2, QStringLiteral("ausente"), f.absent);
        return;
    }
    const Shade &shade = cell.verdict == Acceptance::Verdict::Pass   ? f.pass
                         : cell.verdict == Acceptance::Verdict::Fail ? f.fail
                                                                     : f.plain;
    value(sheet, row, first + 2, cell.lossDb, shade.of(measuredOnPoints(cell)));
}

// A band's matrix: per closure the loss from A, from B and their mean; the header two rows and
// the fibre column frozen; what the colours and the italics mean below.
void bandSheet(lxw_workbook *book, const Job &job, int band, const Formats &f)
{
    lxw_worksheet *sheet
        = workbook_add_worksheet(book, utf8(QStringLiteral("%1 nm").arg(band)).c_str());
    closureHeaders(sheet, job, f);
    worksheet_set_column(sheet, 0, 0, 14, nullptr);
    worksheet_set_column(sheet, 1, lxw_col_t(3 * job.closures.size()), 8, nullptr);
    worksheet_freeze_panes(sheet, 2, 1);
    QHash<QString, int> rowOf;
    for (int r = 0; r < job.fibres.size(); ++r) {
        rowOf.insert(job.fibres.at(r).fiber, r + 2);
        text(sheet, r + 2, 0, job.fibres.at(r).fiber);
    }
    for (const Cell &cell : job.matrix) {
        if (cell.bandNm == band && rowOf.contains(cell.fiber))
            matrixCell(sheet, rowOf.value(cell.fiber), cell, f);
    }
    int row = int(job.fibres.size()) + 3;
    for (const QString &line : legendLines())
        text(sheet, row++, 0, line);
}

void fibresSheet(lxw_workbook *book, const Job &job, const Formats &f)
{
    const Sor::TableColumns<Fibre> columns = fibreColumns(job.baseline.has_value());
    lxw_worksheet *sheet = tableSheet(book, "Fibras", columns, f);
    for (int r = 0; r < job.fibres.size(); ++r)
        tableRow(sheet, r + 1, columns, job.fibres.at(r), f);
    worksheet_set_column(sheet, 0, 7, 16, nullptr);
}

void checksSheet(lxw_workbook *book, const Job &job, const Formats &f)
{
    lxw_worksheet *checks = workbook_add_worksheet(book, "Verificações");
    text(checks, 0, 0, QStringLiteral("Verificação"), f.header);
    text(checks, 0, 1, QStringLiteral("O que foi encontrado"), f.header);
    worksheet_freeze_panes(checks, 1, 0);
    int row = 1;
    // Every check, saying so where it found nothing.
    for (const CheckList &list : checkLists(job.checks)) {
        for (const QString &line : list.lines.isEmpty() ? QStringList{list.none} : list.lines) {
            text(checks, row, 0, list.title);
            text(checks, row, 1, line);
            ++row;
        }
    }
    worksheet_set_column(checks, 0, 0, 34, nullptr);
    worksheet_set_column(checks, 1, 1, 90, nullptr);
}

// Against a baseline: each cell then and now, a change of the threshold or more in red; the
// job's lines about it below.
void baselineSheet(lxw_workbook *book, const Job &job, const Formats &f)
{
    const Sor::TableColumns<Cell> columns = cellColumns(job);
    lxw_worksheet *since = tableSheet(book, "Desde a base", columns, f);
    int r = 1;
    for (const Cell &cell : job.matrix) {
        if (cell.baselineDb || cell.changeDb)
            tableRow(since, r++, columns, cell, f);
    }
    ++r;
    for (const QString &line : baselineLines(job))
        text(since, r++, 0, line);
    worksheet_set_column(since, 0, 5, 14, nullptr);
}

} // namespace

bool writeXlsx(const Job &job, const Heading &heading, const QString &path, QString *error)
{
    // The library writes a file by name: a private one first, then the whole of it at once.
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        if (error)
            *error = QStringLiteral("não foi possível criar uma pasta temporária");
        return false;
    }
    const QString temporary = scratch.filePath(QStringLiteral("cabo.xlsx"));
    lxw_workbook *book = workbook_new(QFile::encodeName(temporary).constData());
    if (!book) {
        if (error)
            *error = QStringLiteral("não foi possível criar a planilha");
        return false;
    }
    const Formats f = formats(book);
    jobSheet(book, job, heading, f);
    for (int band : job.bands)
        bandSheet(book, job, band, f);
    fibresSheet(book, job, f);
    checksSheet(book, job, f);
    if (job.baseline)
        baselineSheet(book, job, f);
    if (workbook_close(book) != LXW_NO_ERROR) {
        if (error)
            *error = QStringLiteral("não foi possível gravar a planilha");
        return false;
    }
    QFile written(temporary);
    if (!written.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("não foi possível ler a planilha gravada");
        return false;
    }
    return Sor::saveFile(path, written.readAll(), error);
}

#else

bool xlsxAvailable()
{
    return false;
}

bool writeXlsx(const Job &job, const QString &path, QString *error)
{
    return writeXlsx(job, Heading(), path, error);
}

bool writeXlsx(const Job &, const Heading &, const QString &, QString *error)
{
    if (error)
        *error = QStringLiteral("esta versão foi construída sem planilhas (libxlsxwriter)");
    return false;
}

#endif

} // namespace Cable
