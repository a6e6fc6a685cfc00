#pragma once

#include "report/pdfpage.h"

#include <functional>

// The pages of a cable's report: its cover (cablecover.cpp), each fibre's pages
// (cablefibrepages.cpp), and what they share with the matrix and the lists (cablepdf.cpp).
namespace Report::CablePages {

// A table's rows on a page of its own.
constexpr int RowsPerPage = 50;

// "lançamento 1000 m, recepção 1000 m"; empty without cords.
QString cordsText(const Cable::Options &o);
// The matrix's cell of a fibre at a band and a closure; none where the job has none.
const Cable::Cell *matrixCell(const Cable::Job &job, const QString &fiber, int bandNm, int closure);
// Whether either end's loss in a cell was measured on the trace's points.
bool measuredOnPoints(const Cable::Cell &cell);
// A loss as the tables give it: "0,123", "0,123*" where the points gave it, "ausente" where
// nothing did.
QString lossText(const std::optional<double> &lossDb, bool measured);

// The cover's pages, and one of them: the heading on the first, the closures' figures on all,
// where both sign on the last.
int coverPages(const Cable::Job &job);
void coverPage(Pdf::Page &page, const Cable::Job &job, const Options &o, int number, int pages);

// One row of a fibre's table: where it lies on A's axis, its cells and the verdict they colour.
struct FibreRow
{
    double atM = 0;
    QStringList cells;
    Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
};

// What a page holds, in table rows: a row, the notes, the reasons' title or one reason.
struct Piece
{
    enum Kind { Row, Notes, ReasonsTitle, Reason };
    Kind kind = Row;
    int index = 0;
    int units = 1;
};

// A fibre with both ends at its page's band, laid out on its pages.
struct FibreLayout
{
    const Cable::Fibre *fibre = nullptr;
    int band = 0;
    QVector<FibreRow> rows;
    QStringList aShots; // the A end's files at every band: its link map
    int mapHeight = 0;  // the map's block, in the page's dots; 0 without one
    QVector<QVector<Piece>> pages;
};

QVector<FibreLayout> fibreLayouts(const Cable::Job &job, const Acceptance::Limits &limits);
// Each fibre's pages, asked of `nextPage` in turn.
void fibrePages(const std::function<Pdf::Page()> &nextPage,
                const Cable::Job &job,
                const Options &options,
                const QVector<FibreLayout> &layouts);

} // namespace Report::CablePages
