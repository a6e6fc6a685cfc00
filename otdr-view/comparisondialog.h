#pragma once

#include "acceptance/twoway.h"
#include "sor/sortrace.h"

#include <QDialog>

class PlotWidget;
class QLabel;
class QTableWidget;

// One fibre seen twice, side by side: from both ends (B's trace mirrored onto A's axis, the
// events averaged) or at two wavelengths (the longer's bends flagged).
class ComparisonDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Kind { Directions, Wavelengths };

    // The traces are copied: the dialog outlives neither the window's list nor its changes.
    ComparisonDialog(Kind kind,
                     const Sor::Trace &first,
                     const QString &firstName,
                     const Sor::Trace &second,
                     const QString &secondName,
                     QWidget *parent = nullptr);

    // Why the two traces cannot be compared so; empty when they can.
    QString problem() const { return why; }
    QTableWidget *table() const { return events; }
    PlotWidget *plot() const { return plotWidget; }

private:
    void showDirections(const Acceptance::Measurement &a, const Acceptance::Measurement &b);
    void showWavelengths(const Acceptance::Measurement &s, const Acceptance::Measurement &l);

    Sor::Trace first;
    Sor::Trace second; // mirrored, when it is B
    QString why;
    PlotWidget *plotWidget = nullptr;
    QTableWidget *events = nullptr;
    QLabel *summary = nullptr;
};
