#include "dialogbuttons.h"
#include "viewerwindow.h"

#include "acceptance/pairing.h"
#include "cablewindow.h"
#include "plotwidget.h"
#include "traceplot/markers.h"

#include <QDialog>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QMessageBox>

// The viewer's own analysis of a trace: its events in place of the file's, marked as such in
// the event tab and in the legend, until the file's are asked for again. And two traces of one
// fibre compared: its two ends, or two wavelengths.

namespace {

QDoubleSpinBox *thresholdBox(double value, double from, double to, const QString &name)
{
    auto *box = new QDoubleSpinBox;
    box->setObjectName(name);
    // The decimal comma, as every number the viewer shows.
    box->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    box->setDecimals(name == QLatin1String("loss") ? 3 : 1);
    box->setRange(from, to);
    box->setSingleStep(name == QLatin1String("loss") ? 0.01 : 1);
    box->setSuffix(QStringLiteral(" dB"));
    box->setValue(value);
    return box;
}

TraceSet::Pairing pairing(ComparisonDialog::Kind kind)
{
    return kind == ComparisonDialog::Kind::Directions ? TraceSet::Pairing::Directions
                                                      : TraceSet::Pairing::Wavelengths;
}

} // namespace

void ViewerWindow::changeSelectedEvents(const std::function<void(int)> &change)
{
    const int index = selected();
    if (!set.contains(index))
        return;
    change(index);
    refresh();
    select(index);
}

void ViewerWindow::reanalyze(const Analysis::Thresholds &chosen)
{
    changeSelectedEvents([&](int index) { set.reanalyze(index, chosen); });
}

void ViewerWindow::showFileEvents()
{
    changeSelectedEvents([this](int index) { set.showFileEvents(index); });
}

void ViewerWindow::chooseThresholds()
{
    const int index = selected();
    if (!set.contains(index))
        return;
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Reanalisar"));
    // The trace's own thresholds (its instrument's) to start from.
    const Analysis::Thresholds start = Analysis::thresholdsFor(set.at(index).trace);
    auto *loss = thresholdBox(start.lossDb, 0, 5, QStringLiteral("loss"));
    auto *reflectance = thresholdBox(start.reflectanceDb, -90, 0, QStringLiteral("reflectance"));
    auto *end = thresholdBox(start.endDb, 0.5, 30, QStringLiteral("end"));
    QDialogButtonBox *buttons = actionRow(&dialog, QStringLiteral("Reanalisar"));
    auto *form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Perda mínima:"), loss);
    form->addRow(QStringLiteral("Refletância mínima:"), reflectance);
    form->addRow(QStringLiteral("Fim da fibra:"), end);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    reanalyze({loss->value(), reflectance->value(), end->value()});
}

ComparisonDialog *
ViewerWindow::compare(ComparisonDialog::Kind kind, int first, int second, QString *problem)
{
    if (first < 0 || second < 0 || first >= traceCount() || second >= traceCount()
        || first == second)
        return nullptr;
    // Two wavelengths are compared shorter first, whichever was chosen first.
    const auto order = set.comparisonOrder(pairing(kind), first, second);
    const TraceSet::Open &a = set.at(order.first);
    const TraceSet::Open &b = set.at(order.second);
    auto *dialog = new ComparisonDialog(kind, a.shown(), a.path, b.shown(), b.path, this);
    if (!dialog->problem().isEmpty()) {
        if (problem)
            *problem = dialog->problem();
        delete dialog;
        return nullptr;
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

void ViewerWindow::chooseComparison(ComparisonDialog::Kind kind)
{
    const QString title = kind == ComparisonDialog::Kind::Directions
                              ? QStringLiteral("Comparar direções")
                              : QStringLiteral("Comparar comprimentos de onda");
    const int index = selected();
    if (index < 0 || traceCount() < 2) {
        QMessageBox::information(this,
                                 title,
                                 QStringLiteral("Abra os dois traços da fibra e selecione um "
                                                "deles para compará-los."));
        return;
    }
    // The other trace the labels point to comes first in the list.
    const int likely = set.likelyPartner(pairing(kind), index);
    QStringList choices;
    QVector<int> indices;
    for (int i = 0; i < traceCount(); ++i) {
        if (i == index)
            continue;
        const int at = i == likely ? 0 : int(choices.size());
        choices.insert(at, QFileInfo(set.at(i).path).fileName());
        indices.insert(at, i);
    }
    bool ok = false;
    const QString chosen
        = QInputDialog::getItem(this,
                                title,
                                kind == ComparisonDialog::Kind::Directions
                                    ? QStringLiteral("Comparar %1 com o traço da outra ponta:")
                                          .arg(QFileInfo(set.at(index).path).fileName())
                                    : QStringLiteral("Comparar %1 com o outro comprimento de onda:")
                                          .arg(QFileInfo(set.at(index).path).fileName()),
                                choices,
                                0,
                                false,
                                &ok);
    if (!ok || !choices.contains(chosen))
        return;
    QString problem;
    if (!compare(kind, index, indices.at(choices.indexOf(chosen)), &problem)) {
        QMessageBox::warning(
            this, title, QStringLiteral("Não é possível comparar estes traços:\n%1").arg(problem));
    }
}

void ViewerWindow::chooseCableProject()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Abrir projeto de cabo: a pasta dos traços"));
    if (!folder.isEmpty())
        openCableProject(folder);
}

CableWindow *ViewerWindow::openCableProject(const QString &folder, const QStringList &markers)
{
    auto *window = new CableWindow(folder, markers, set.limits(), this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &CableWindow::closureChosen, this, &ViewerWindow::showAround);
    window->show();
    return window;
}

void ViewerWindow::showAround(const QStringList &paths,
                              double distanceM,
                              const Sor::Trace &mirroredB,
                              const QString &note)
{
    QStringList missing;
    for (const QString &path : paths) {
        if (!set.paths().contains(path))
            missing << path;
    }
    if (!missing.isEmpty())
        openFiles(missing);
    const int index = int(set.paths().indexOf(paths.value(0)));
    if (index < 0)
        return;
    // The far end on the near end's axis, as the closure's own view draws it.
    const int far = paths.size() > 1 ? int(set.paths().indexOf(paths.at(1))) : -1;
    if (far >= 0 && mirroredB.version != 0) {
        set.setMirrored(far, mirroredB, note);
        refresh();
    }
    select(index);
    // Some pulse lengths either side of the closure, the levels fitted to what is shown.
    const Sor::Trace &t = set.at(index).trace;
    const double pulseM = t.fixed && !t.fixed->pulseWidthsNs.isEmpty() ? Sor::pulseLengthM(t) : 100;
    const double half = std::max(200.0, 8 * pulseM);
    plotWidget->setView(
        TracePlot::fitLevels(series(), {distanceM - half, distanceM + half, -60, 0}));
    plotWidget->setMarker(0, TracePlot::snap(t, distanceM));
}
