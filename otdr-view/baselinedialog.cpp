#include "baselinedialog.h"
#include "dialogbuttons.h"

#include "plotwidget.h"
#include "sor/sortext.h"

#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QVBoxLayout>

BaselineDialog::BaselineDialog(const Sor::Trace &baseTrace,
                               const QString &baseName,
                               const Sor::Trace &nowTrace,
                               const QString &nowName,
                               const Baseline::Comparison &comparison,
                               QWidget *parent)
    : QDialog(parent)
    , base(baseTrace)
    , now(nowTrace)
    , result(comparison)
{
    setWindowTitle(QStringLiteral("Comparar com a linha de base"));
    setWindowFlags(windowFlags() | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);
    verdict = new QLabel;
    verdict->setObjectName(QStringLiteral("baselineVerdict"));
    verdict->setWordWrap(true);
    verdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
    overlay = new PlotWidget;
    overlay->setObjectName(QStringLiteral("baselinePlot"));
    difference = new PlotWidget;
    difference->setObjectName(QStringLiteral("differencePlot"));
    list = new QListWidget;
    list->setObjectName(QStringLiteral("baselineChanges"));
    QString heading = QStringLiteral("<b>%1</b> desde <b>%2</b>: ")
                          .arg(nowName.toHtmlEscaped(), baseName.toHtmlEscaped());
    if (!result.problem.isEmpty()) {
        verdict->setText(
            heading + QStringLiteral("não comparados: %1").arg(result.problem.toHtmlEscaped()));
    } else {
        const QString word = result.samePoints
                                 ? QStringLiteral("sem mudança (os pontos são iguais)")
                                 : result.verdict();
        heading
            += QStringLiteral("<b style='color:%1'>%2</b>")
                   .arg(result.changed() ? QStringLiteral("#c00000") : QStringLiteral("#007020"),
                        word);
        for (const QString &note : result.notes)
            heading += QStringLiteral("<br>Medidos de outro modo: %1").arg(note.toHtmlEscaped());
        verdict->setText(heading);
        for (const Baseline::Change &change : result.changes)
            list->addItem(change.text);
        if (result.changes.isEmpty())
            list->addItem(result.samePoints ? QStringLiteral("uma só medida: nada a comparar")
                                            : QStringLiteral("nenhuma mudança"));
        // The now trace where the comparison laid it: on the baseline's axis and level.
        for (double &x : now.distanceM)
            x += result.shiftM;
        for (double &level : now.levelDb)
            level += result.difference.levelShiftDb;
        if (now.keyEvents) {
            for (Sor::Event &e : now.keyEvents->events)
                e.distanceM += result.shiftM;
        }
        overlay->setSeries(
            {{&base, QStringLiteral("%1 (base)").arg(baseName), TracePlot::seriesColour(0)},
             {&now, QStringLiteral("%1 (agora)").arg(nowName), TracePlot::seriesColour(1), true}});
        delta.distanceM = result.difference.distanceM;
        delta.levelDb = result.difference.deltaDb;
        difference->setSeries(
            {{&delta, QStringLiteral("diferença (agora − base), dB"), QColor(0x60, 0x60, 0x60)}});
        TracePlot::View view
            = TracePlot::fitLevels({{&delta, QString(), QColor()}},
                                   {delta.distanceM.empty() ? 0 : delta.distanceM.front(),
                                    delta.distanceM.empty() ? 1000 : delta.distanceM.back(),
                                    -1,
                                    1});
        view.y0 = std::max(view.y0, -5.0);
        view.y1 = std::min(view.y1, 5.0);
        difference->setView(view);
    }
    auto *plots = new QSplitter(Qt::Vertical);
    plots->addWidget(overlay);
    plots->addWidget(difference);
    plots->addWidget(list);
    plots->setStretchFactor(0, 3);
    plots->setStretchFactor(1, 2);
    plots->setStretchFactor(2, 1);
    QDialogButtonBox *buttons = closeRow(this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(verdict);
    layout->addWidget(plots, 1);
    layout->addWidget(buttons);
    resize(1100, 900);
}
