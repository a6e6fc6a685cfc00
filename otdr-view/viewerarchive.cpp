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
    dialog->show();
    dialog->search();
    dialog->textField()->setFocus();
    return dialog;
}
