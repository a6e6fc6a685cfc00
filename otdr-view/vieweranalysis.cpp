#include "viewerwindow.h"

#include "plotwidget.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>

// The viewer's own analysis of a trace: its events in place of the file's, marked as such in
// the event tab and in the legend, until the file's are asked for again.

namespace {

QDoubleSpinBox *thresholdBox(double value, double from, double to, const QString &name)
{
    auto *box = new QDoubleSpinBox;
    box->setObjectName(name);
    box->setDecimals(name == QLatin1String("loss") ? 3 : 1);
    box->setRange(from, to);
    box->setSingleStep(name == QLatin1String("loss") ? 0.01 : 1);
    box->setSuffix(QStringLiteral(" dB"));
    box->setValue(value);
    return box;
}

} // namespace

void ViewerWindow::reanalyze(const Analysis::Thresholds &chosen)
{
    const int index = selected();
    if (index < 0 || index >= traceCount())
        return;
    thresholds = chosen;
    Document &d = *documents[size_t(index)];
    d.analysed = d.trace;
    d.analysed->keyEvents = Analysis::asKeyEvents(Analysis::analyze(d.trace, thresholds));
    refresh();
    select(index);
}

void ViewerWindow::showFileEvents()
{
    const int index = selected();
    if (index < 0 || index >= traceCount())
        return;
    documents[size_t(index)]->analysed.reset();
    refresh();
    select(index);
}

void ViewerWindow::chooseThresholds()
{
    if (selected() < 0)
        return;
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Reanalisar"));
    auto *loss = thresholdBox(thresholds.lossDb, 0, 5, QStringLiteral("loss"));
    auto *reflectance
        = thresholdBox(thresholds.reflectanceDb, -90, 0, QStringLiteral("reflectance"));
    auto *end = thresholdBox(thresholds.endDb, 0.5, 30, QStringLiteral("end"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Perda mínima:"), loss);
    form->addRow(QStringLiteral("Reflectância mínima:"), reflectance);
    form->addRow(QStringLiteral("Fim da fibra:"), end);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    reanalyze({loss->value(), reflectance->value(), end->value()});
}
