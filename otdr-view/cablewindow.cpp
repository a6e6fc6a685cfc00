#include "cablewindow.h"
#include "dialogbuttons.h"

#include "limitsdialog.h"
#include "plotwidget.h"
#include "sor/sortext.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QColor PassBackground(0xc6, 0xef, 0xce);
const QColor FailBackground(0xff, 0xc7, 0xce);
// A connector within the connector's limits: its own colour, so that a connector column never
// reads as a splice's.
const QColor ConnectorPassBackground(0xc9, 0xdd, 0xf2);

QTableWidget *newTable(const QString &name)
{
    auto *table = new QTableWidget;
    table->setObjectName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return table;
}

// What B's label says: mirrored onto A's axis, its levels moved to meet A's.
QString mirroredNote(const Cable::ClosureTraces &shown)
{
    return QStringLiteral("espelhado%1")
        .arg(shown.offsetDb != 0 ? QStringLiteral(", nível %1%2 dB")
                                       .arg(shown.offsetDb > 0 ? QStringLiteral("+") : QString(),
                                            Sor::decimal(shown.offsetDb, 2))
                                 : QString());
}

} // namespace

CableWindow::CableWindow(const QString &folderPath,
                         const QStringList &pairMarkers,
                         const std::optional<Acceptance::Limits> &chosenLimits,
                         QWidget *parent)
    : QDialog(parent)
    , folder(folderPath)
    , chosen(chosenLimits)
{
    setWindowTitle(QStringLiteral("Projeto de cabo: %1").arg(folder));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    markers = new QLineEdit(pairMarkers.join(QLatin1Char(',')));
    markers->setObjectName(QStringLiteral("markers"));
    markers->setPlaceholderText(QStringLiteral("p. ex. je,jo"));
    auto *again = new QPushButton(QStringLiteral("Recalcular"));
    connect(again, &QPushButton::clicked, this, &CableWindow::reload);
    limitsName = new QLabel;
    limitsName->setObjectName(QStringLiteral("cableLimits"));
    auto *chooseLimitsButton = new QPushButton(QStringLiteral("Limites…"));
    chooseLimitsButton->setObjectName(QStringLiteral("chooseLimits"));
    connect(chooseLimitsButton, &QPushButton::clicked, this, &CableWindow::chooseLimits);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Marcas das pontas nos nomes (A,B):")));
    top->addWidget(markers, 1);
    top->addWidget(again);
    top->addSpacing(16);
    top->addWidget(limitsName);
    top->addWidget(chooseLimitsButton);
    summary = new QLabel;
    summary->setObjectName(QStringLiteral("cableSummary"));
    summary->setWordWrap(true);
    auto *legend = new QLabel(
        QStringLiteral("* medida nos pontos do traço (o arquivo não traz o evento) · verde: "
                       "emenda dentro do limite de emenda · azul: conector (C) dentro do limite "
                       "de conector · vermelho: fora do limite · ausente: nem o arquivo nem os "
                       "pontos dão o valor"));
    legend->setObjectName(QStringLiteral("cableLegend"));
    legend->setWordWrap(true);
    tabs = new QTabWidget;
    // The closure chosen: its two ends on A's axis, and what the cell says of it.
    plot = new PlotWidget;
    plot->setObjectName(QStringLiteral("closurePlot"));
    plot->setEmptyHint(QStringLiteral("Clique numa célula da matriz para ver a emenda nas duas "
                                      "pontas da fibra."));
    details = new QLabel;
    details->setObjectName(QStringLiteral("closureDetails"));
    details->setWordWrap(true);
    details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    details->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    openInViewer = new QPushButton(QStringLiteral("Abrir no visualizador"));
    openInViewer->setObjectName(QStringLiteral("openInViewer"));
    openInViewer->setEnabled(false);
    connect(openInViewer, &QPushButton::clicked, this, [this] {
        // End A first: the closure's distance is measured from it; B as drawn here.
        QStringList paths;
        for (const QString &path : {shown.pathA, shown.pathB}) {
            if (!path.isEmpty())
                paths << path;
        }
        if (!paths.isEmpty())
            emit closureChosen(paths,
                               shown.atM,
                               shown.b && !shown.pathA.isEmpty() ? *shown.b : Sor::Trace(),
                               mirroredNote(shown));
    });
    auto *closureBox = new QWidget;
    auto *closureLayout = new QVBoxLayout(closureBox);
    closureLayout->setContentsMargins(0, 0, 0, 0);
    closureLayout->addWidget(plot, 3);
    closureLayout->addWidget(details, 1);
    closureLayout->addWidget(openInViewer, 0, Qt::AlignRight);
    auto *split = new QSplitter(Qt::Horizontal);
    split->addWidget(tabs);
    split->addWidget(closureBox);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setSizes({760, 620});
    QDialogButtonBox *buttons = closeRow(this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(summary);
    layout->addWidget(legend);
    layout->addWidget(split, 1);
    layout->addWidget(buttons);
    resize(1400, 800);
    reload();
}

void CableWindow::setLimits(const std::optional<Acceptance::Limits> &limits)
{
    chosen = limits;
    reload();
}

void CableWindow::chooseLimits()
{
    LimitsDialog dialog(chosen, this);
    if (dialog.exec() == QDialog::Accepted && dialog.limits())
        setLimits(dialog.limits());
}

QTableWidget *CableWindow::matrix(int bandNm) const
{
    return matrices.value(bandNm);
}

void CableWindow::reload()
{
    Cable::Options options;
    options.limits = chosen.value_or(Acceptance::Limits());
    const QStringList typed = markers->text().split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (typed.size() == 2)
        options.pairMarkers = QStringList{typed.at(0).trimmed(), typed.at(1).trimmed()};
    current = Cable::run({folder}, options);
    limitsName->setText(QStringLiteral("Limites: %1")
                            .arg(chosen && chosen->checksAnything()
                                     ? Acceptance::presetTitle(chosen->name)
                                     : QStringLiteral("nenhum")));
    // The closure shown is judged again, or gone with a job that no longer has it.
    const Cable::Cell was = shown.cell;
    shown = Cable::ClosureTraces();
    plot->setSeries({});
    details->clear();
    openInViewer->setEnabled(false);
    showJob(current);
    for (int row = 0; row < current.fibres.size(); ++row) {
        if (current.fibres.at(row).fiber == was.fiber && was.closure >= 1
            && was.closure <= current.closures.size())
            showClosure(was.bandNm, row, was.closure - 1);
    }
}

void CableWindow::showJob(const Cable::Job &job)
{
    tabs->clear();
    matrices.clear();
    summary->setText(QStringLiteral("%1 arquivos, %2 fibras; %3 (tolerância %4 m); %5. Clique "
                                    "numa célula da matriz para ver a emenda nas duas pontas.")
                         .arg(job.files.size())
                         .arg(job.fibres.size())
                         .arg(Cable::closureCounts(job.closures)
                                  .replace(QStringLiteral("   "), QStringLiteral(", ")),
                              Sor::decimal(job.toleranceM, 1),
                              job.checks.raised()
                                  ? QStringLiteral("há verificações pendentes")
                                  : QStringLiteral("nenhuma verificação pendente")));
    for (int band : job.bands) {
        QTableWidget *table = newTable(QStringLiteral("matrix%1").arg(band));
        table->setRowCount(job.fibres.size());
        table->setColumnCount(job.closures.size());
        QStringList columns;
        for (const Cable::Closure &c : job.closures)
            columns << QStringLiteral("%1%2\n%3 km")
                           .arg(Cable::closureTitle(c),
                                c.connector ? QStringLiteral(" conector") : QString())
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
            const bool connector = job.closures.value(cell.closure - 1).connector;
            if (cell.verdict == Acceptance::Verdict::Pass)
                item->setBackground(connector ? ConnectorPassBackground : PassBackground);
            else if (cell.verdict == Acceptance::Verdict::Fail)
                item->setBackground(FailBackground);
            table->setItem(row, cell.closure - 1, item);
        }
        // By the mouse or the arrow keys alike.
        connect(table, &QTableWidget::currentCellChanged, this, [this, band](int row, int column) {
            showClosure(band, row, column);
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
                                Cable::bendsText(f),
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

void CableWindow::showClosure(int bandNm, int row, int column)
{
    if (row < 0 || row >= current.fibres.size() || column < 0 || column >= current.closures.size())
        return;
    const QString &fiber = current.fibres.at(row).fiber;
    // The plot lets go of the traces shown before they are replaced.
    plot->setSeries({});
    shown = Cable::closureTraces(current,
                                 fiber,
                                 bandNm,
                                 current.closures.at(column).number,
                                 chosen.value_or(Acceptance::Limits()));
    openInViewer->setEnabled(shown.problem.isEmpty());
    if (!shown.problem.isEmpty()) {
        details->setText(shown.problem.toHtmlEscaped());
        return;
    }
    QVector<TracePlot::Series> series;
    // Each flag named as the matrix names its place.
    if (shown.a)
        series.append({&*shown.a, shown.nameA, TracePlot::seriesColour(0), true, shown.flagsA});
    if (shown.b)
        series.append({&*shown.b,
                       QStringLiteral("%1 (%2)").arg(shown.nameB, mirroredNote(shown)),
                       TracePlot::seriesColour(1),
                       false,
                       shown.flagsB});
    plot->setSelected(0);
    plot->setSeries(series);
    plot->setView(TracePlot::fitLevels(
        series, {shown.atM - shown.halfWidthM, shown.atM + shown.halfWidthM, -60, 0}));
    plot->setMarker(0, shown.atM);
    // The cell's values, each end saying how it was got, the limit and the verdict.
    const Cable::Cell &cell = shown.cell;
    const auto endText = [](const std::optional<double> &loss, Cable::How how, const QString &why) {
        if (!loss)
            return QStringLiteral("ausente")
                   + (why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why));
        return Sor::decimal(*loss, 3) + QStringLiteral(" dB")
               + (how == Cable::How::Measured ? QStringLiteral(" (medido aqui)")
                                              : QStringLiteral(" (achado no arquivo)"));
    };
    const QString verdictColour
        = cell.verdict == Acceptance::Verdict::Fail   ? QStringLiteral("#c00000")
          : cell.verdict == Acceptance::Verdict::Pass ? QStringLiteral("#007020")
                                                      : QStringLiteral("#404040");
    details->setText(
        QStringLiteral(
            "<b>Fibra %1, %2 %3 a %4 de A, %5 nm</b><table cellspacing='3'>"
            "<tr><td>A→B</td><td>%6</td></tr><tr><td>B→A</td><td>%7</td></tr>"
            "<tr><td>Média</td><td><b>%8</b></td></tr><tr><td>Limite</td><td>%9</td></tr>"
            "<tr><td>Veredito</td><td><b style='color:%10'>%11</b></td></tr></table>")
            .arg(cell.fiber.toHtmlEscaped(),
                 Cable::closureKind(shown.closure),
                 Cable::closureTitle(shown.closure),
                 Sor::kilometres(shown.atM))
            .arg(cell.bandNm)
            .arg(endText(cell.lossAbDb, cell.howAb, cell.whyAb).toHtmlEscaped(),
                 endText(cell.lossBaDb, cell.howBa, cell.whyBa).toHtmlEscaped(),
                 cell.lossDb ? Sor::decimal(*cell.lossDb, 3) + QStringLiteral(" dB")
                             : QStringLiteral("ausente"),
                 shown.limitDb
                     ? QStringLiteral("%1 %2 dB")
                           .arg(shown.closure.connector ? QStringLiteral("perda de conector máx.")
                                                        : QStringLiteral("perda de emenda máx."),
                                Sor::decimal(*shown.limitDb, 3))
                     : QStringLiteral("nenhum"),
                 verdictColour,
                 Acceptance::verdictWord(cell.verdict)));
}
