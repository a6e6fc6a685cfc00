#include "viewerwindow.h"

#include "archivedialog.h"

#include <QLineEdit>

ArchiveDialog *ViewerWindow::showArchive(const QString &db)
{
    auto *dialog = new ArchiveDialog(db, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &ArchiveDialog::openRequested, this, [this](const QStringList &paths) {
        openFiles(paths);
    });
    // A fibre's history is seen alone: what was open goes, and comes back from the recent files.
    connect(dialog, &ArchiveDialog::historyRequested, this, [this](const QStringList &paths) {
        while (traceCount() > 0)
            removeTrace(traceCount() - 1);
        openFiles(paths);
    });
    dialog->show();
    dialog->search();
    dialog->textField()->setFocus();
    return dialog;
}
