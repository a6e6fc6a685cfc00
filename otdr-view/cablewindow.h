#pragma once

#include "cable/cablejob.h"
#include "cable/closureview.h"

#include <QDialog>

class PlotWidget;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;

// A cable's job in the viewer: the splice matrix per wavelength, coloured by the limits chosen
// here; a cell chosen shows that closure beside the matrix (the fibre's two ends on A's axis,
// the values, the limit and the verdict), replacing the one shown before; the fibre summary and
// the checks.
class CableWindow : public QDialog
{
    Q_OBJECT

public:
    // Reads the folder's traces at once; the ends' markers and the limits may be changed and
    // the job run again.
    CableWindow(const QString &folder,
                const QStringList &markers,
                const std::optional<Acceptance::Limits> &limits,
                QWidget *parent = nullptr);

    const Cable::Job &job() const { return current; }
    // The matrix of one wavelength (rows: fibres; columns: closures).
    QTableWidget *matrix(int bandNm) const;
    QTableWidget *fibres() const { return fibreTable; }
    // Runs the job again with the markers typed and the limits chosen.
    void reload();
    void setLimits(const std::optional<Acceptance::Limits> &limits);
    // The limits the job is judged by; none judges nothing.
    const std::optional<Acceptance::Limits> &limits() const { return chosen; }
    // The closure shown beside the matrix, and its plot.
    const Cable::ClosureTraces &closure() const { return shown; }
    PlotWidget *closurePlot() const { return plot; }
    // Shows a fibre's closure at a band, as choosing its cell does.
    void showClosure(int bandNm, int row, int column);

signals:
    // "Abrir no visualizador": the closure's files (A's first), its distance from end A, and B's
    // trace on A's axis as this window draws it, with what its label says of it.
    void closureChosen(const QStringList &paths,
                       double distanceM,
                       const Sor::Trace &mirroredB,
                       const QString &note);

private:
    void showJob(const Cable::Job &job);
    void chooseLimits();

    QString folder;
    std::optional<Acceptance::Limits> chosen;
    Cable::Job current;
    Cable::ClosureTraces shown;
    QLineEdit *markers = nullptr;
    QLabel *limitsName = nullptr;
    QLabel *summary = nullptr;
    QTabWidget *tabs = nullptr;
    QTableWidget *fibreTable = nullptr;
    QMap<int, QTableWidget *> matrices;
    PlotWidget *plot = nullptr;
    QLabel *details = nullptr;
    QPushButton *openInViewer = nullptr;
};
