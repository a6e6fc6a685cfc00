#include "cablewindow.h"

#include "sor/sortext.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QColor PassBackground(0xc6, 0xef, 0xce);
const QColor FailBackground(0xff, 0xc7, 0xce);

QTableWidget *newTable(const QString &name)
{
    auto *table = new QTableWidget;
    table->setObjectName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return table;
}

} // namespace

CableWindow::CableWindow(const QString &folderPath,
                         const QStringList &pairMarkers,
                         const Acceptance::Limits &chosenLimits,
                         QWidget *parent)
    : QDialog(parent)
    , folder(folderPath)
    , limits(chosenLimits)
{
    setWindowTitle(QStringLiteral("Projeto de cabo: %1").arg(folder));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    markers = new QLineEdit(pairMarkers.join(QLatin1Char(',')));
    markers->setObjectName(QStringLiteral("markers"));
    markers->setPlaceholderText(QStringLiteral("p. ex. ELMMIL,MILELM"));
    auto *again = new QPushButton(QStringLiteral("Recalcular"));
    connect(again, &QPushButton::clicked, this, &CableWindow::reload);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Marcas das pontas nas ids (A,B):")));
    top->addWidget(markers, 1);
    top->addWidget(again);
    summary = new QLabel;
    summary->setObjectName(QStringLiteral("cableSummary"));
    summary->setWordWrap(true);
    tabs = new QTabWidget;
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("Fechar"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(summary);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);
    resize(1100, 700);
    reload();
}

QTableWidget *CableWindow::matrix(int bandNm) const
{
    return matrices.value(bandNm);
}

void CableWindow::reload()
{
    Cable::Options options;
    options.limits = limits;
    const QStringList typed = markers->text().split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (typed.size() == 2)
        options.pairMarkers = QStringList{typed.at(0).trimmed(), typed.at(1).trimmed()};
    current = Cable::run({folder}, options);
    showJob(current);
}

void CableWindow::showJob(const Cable::Job &job)
{
    tabs->clear();
    matrices.clear();
    int raised = 0;
    for (const QStringList *list : {&job.checks.settings,
                                    &job.checks.duplicates,
                                    &job.checks.missing,
                                    &job.checks.lengthOutliers})
        raised += list->size();
    summary->setText(QStringLiteral("%1 arquivos, %2 fibras, %3 emendas (tolerância %4 m); "
                                    "%5 verificações levantadas. Clique numa célula da matriz "
                                    "para abrir os traços da fibra nessa emenda.")
                         .arg(job.files.size())
                         .arg(job.fibres.size())
                         .arg(job.closures.size())
                         .arg(Sor::decimal(job.toleranceM, 1))
                         .arg(raised));
    for (int band : job.bands) {
        QTableWidget *table = newTable(QStringLiteral("matrix%1").arg(band));
        table->setRowCount(job.fibres.size());
        table->setColumnCount(job.closures.size());
        QStringList columns;
        for (const Cable::Closure &c : job.closures)
            columns << QStringLiteral("%1\n%2 km")
                           .arg(c.number)
                           .arg(Sor::decimal(c.distanceM / 1000, 3));
        table->setHorizontalHeaderLabels(columns);
        QStringList rows;
        for (const Cable::Fibre &f : job.fibres)
            rows << f.fiber;
        table->setVerticalHeaderLabels(rows);
        for (const Cable::Cell &cell : job.matrix) {
            if (cell.bandNm != band)
                continue;
            const int row = int(rows.indexOf(cell.fiber));
            const bool measured
                = cell.howAb == Cable::How::Measured || cell.howBa == Cable::How::Measured;
            auto *item = new QTableWidgetItem(
                cell.lossDb
                    ? Sor::decimal(*cell.lossDb, 3) + (measured ? QStringLiteral("*") : QString())
                    : QStringLiteral("ausente"));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            item->setToolTip(QStringLiteral("A→B: %1 (%2)\nB→A: %3 (%4)")
                                 .arg(Sor::measuredText(cell.lossAbDb, 3),
                                      Cable::howKey(cell.howAb),
                                      Sor::measuredText(cell.lossBaDb, 3),
                                      Cable::howKey(cell.howBa)));
            if (cell.verdict == Acceptance::Verdict::Pass)
                item->setBackground(PassBackground);
            else if (cell.verdict == Acceptance::Verdict::Fail)
                item->setBackground(FailBackground);
            table->setItem(row, cell.closure - 1, item);
        }
        connect(table, &QTableWidget::cellClicked, this, [this, band](int row, int column) {
            cellChosen(band, row, column);
        });
        matrices.insert(band, table);
        tabs->addTab(table, QStringLiteral("Matriz %1 nm").arg(band));
    }
    fibreTable = newTable(QStringLiteral("cableFibres"));
    const QStringList heads{QStringLiteral("Fibra"),
                            QStringLiteral("Compr. (km)"),
                            QStringLiteral("Perda (dB)"),
                            QStringLiteral("ORL (dB)"),
                            QStringLiteral("Curv."),
                            QStringLiteral("Veredito"),
                            QStringLiteral("Arquivos")};
    fibreTable->setColumnCount(heads.size());
    fibreTable->setHorizontalHeaderLabels(heads);
    fibreTable->setRowCount(job.fibres.size());
    fibreTable->verticalHeader()->hide();
    for (int r = 0; r < job.fibres.size(); ++r) {
        const Cable::Fibre &f = job.fibres.at(r);
        const QStringList cells{f.fiber,
                                f.lengthM ? Sor::decimal(*f.lengthM / 1000, 3)
                                          : QStringLiteral("não medido"),
                                Sor::measuredText(f.totalLossDb, 3),
                                Sor::measuredText(f.orlDb, 2),
                                QString::number(f.bends),
                                Acceptance::verdictWord(f.verdict),
                                f.files.join(QStringLiteral(", "))};
        for (int c = 0; c < cells.size(); ++c)
            fibreTable->setItem(r, c, new QTableWidgetItem(cells.at(c)));
    }
    tabs->addTab(fibreTable, QStringLiteral("Fibras"));
    auto *checks = new QListWidget;
    checks->setObjectName(QStringLiteral("cableChecks"));
    for (const QString &line : Cable::checkLines(job))
        checks->addItem(line);
    tabs->addTab(checks, QStringLiteral("Verificações"));
}

void CableWindow::cellChosen(int bandNm, int row, int column)
{
    if (row < 0 || row >= current.fibres.size() || column < 0 || column >= current.closures.size())
        return;
    const QString &fiber = current.fibres.at(row).fiber;
    QStringList paths;
    // End A first: the closure's distance is measured from it.
    for (const QChar end : {QLatin1Char('A'), QLatin1Char('B')}) {
        for (const Cable::File &f : current.files) {
            if (f.problem.isEmpty() && f.fiber == fiber && f.bandNm == bandNm && f.end == end)
                paths << f.path;
        }
    }
    if (!paths.isEmpty())
        emit closureChosen(paths, current.closures.at(column).distanceM);
}
