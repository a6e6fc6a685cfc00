#pragma once

#include "baseline/baseline.h"

#include <QDialog>

class PlotWidget;
class QLabel;
class QListWidget;

// What changed on a fibre since its as-built: both traces overlaid (the one of now laid on the
// baseline's axis and level), their difference under them, and the list of changes.
class BaselineDialog : public QDialog
{
    Q_OBJECT

public:
    // The traces are copied: the dialog outlives the window's list. The comparison is the
    // two traces' (Baseline::compare), made before the dialog so that a refusal needs none.
    BaselineDialog(const Sor::Trace &base,
                   const QString &baseName,
                   const Sor::Trace &now,
                   const QString &nowName,
                   const Baseline::Comparison &comparison,
                   QWidget *parent = nullptr);

    const Baseline::Comparison &comparison() const { return result; }
    PlotWidget *plot() const { return overlay; }
    PlotWidget *differencePlot() const { return difference; }
    QListWidget *changes() const { return list; }

private:
    Sor::Trace base;
    Sor::Trace now;   // on the baseline's axis and level
    Sor::Trace delta; // the difference, as a trace to draw
    Baseline::Comparison result;
    PlotWidget *overlay = nullptr;
    PlotWidget *difference = nullptr;
    QListWidget *list = nullptr;
    QLabel *verdict = nullptr;
};
