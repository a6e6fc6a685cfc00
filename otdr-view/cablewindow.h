#pragma once

#include "cable/cablejob.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;

// A cable's job in the viewer: the splice matrix per wavelength (a cell chosen opens that fibre's
// traces at that closure), the fibre summary and the checks.
class CableWindow : public QDialog
{
    Q_OBJECT

public:
    // Reads the folder's traces at once; the ends' markers may be changed and the job run again.
    CableWindow(const QString &folder,
                const QStringList &markers,
                const Acceptance::Limits &limits,
                QWidget *parent = nullptr);

    const Cable::Job &job() const { return current; }
    // The matrix of one wavelength (rows: fibres; columns: closures).
    QTableWidget *matrix(int bandNm) const;
    QTableWidget *fibres() const { return fibreTable; }
    // Runs the job again with the markers typed.
    void reload();

signals:
    // A matrix cell was chosen: the fibre's files, and the closure's distance from end A.
    void closureChosen(const QStringList &paths, double distanceM);

private:
    void showJob(const Cable::Job &job);
    void cellChosen(int bandNm, int row, int column);

    QString folder;
    Acceptance::Limits limits;
    Cable::Job current;
    QLineEdit *markers = nullptr;
    QLabel *summary = nullptr;
    QTabWidget *tabs = nullptr;
    QTableWidget *fibreTable = nullptr;
    QMap<int, QTableWidget *> matrices;
};
