#include "dialogbuttons.h"
#include "viewerwindow.h"

#include "sor/savefile.h"
#include "sor/sorreader.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

// A trace's identification corrected in its own file, through the same writer as otdr-sor
// edit: nothing but the fields changes, and the original stays beside it.

bool ViewerWindow::editIdentification(int index,
                                      const Sor::Edits &edits,
                                      bool force,
                                      QString *error)
{
    if (!set.editIdentification(index, edits, force, error))
        return false;
    const QString path = set.at(index).path;
    refresh();
    select(index);
    statusBar()->showMessage(
        QStringLiteral("Identificação gravada em %1; o original está em %2")
            .arg(QFileInfo(path).fileName(), QFileInfo(Sor::backupPath(path)).fileName()));
    return true;
}

void ViewerWindow::chooseIdentification()
{
    const int index = selected();
    if (index < 0)
        return;
    const Sor::Trace &t = set.at(index).trace;
    const Sor::GeneralParameters g = t.general.value_or(Sor::GeneralParameters());
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Editar identificação"));
    auto *form = new QFormLayout(&dialog);
    QList<QLineEdit *> lines;
    for (const Sor::EditableField &f : Sor::editableFields()) {
        auto *line = new QLineEdit(g.*f.current);
        line->setObjectName(QLatin1String(f.key));
        line->setMinimumWidth(320);
        QString label = QString::fromUtf8(f.word);
        label[0] = label.at(0).toUpper();
        form->addRow(label + QLatin1Char(':'), line);
        lines << line;
    }
    QDialogButtonBox *buttons = actionRow(&dialog, QStringLiteral("Gravar"));
    form->addRow(new QLabel(QStringLiteral("Só estes campos mudam; o original fica em %1.")
                                .arg(QFileInfo(Sor::backupPath(set.at(index).path)).fileName())));
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Sor::Edits chosen;
    for (int i = 0; i < lines.size(); ++i) {
        const Sor::EditableField &f = Sor::editableFields().at(i);
        if (lines.at(i)->text() != g.*f.current)
            chosen.*f.edit = lines.at(i)->text();
    }
    bool force = false;
    if (t.damaged()) {
        QMessageBox ask(QMessageBox::Warning,
                        QStringLiteral("Editar identificação"),
                        QStringLiteral("Este arquivo está danificado. Gravar a identificação "
                                       "nele assim mesmo?"),
                        QMessageBox::NoButton,
                        this);
        QPushButton *write
            = ask.addButton(QStringLiteral("Gravar assim mesmo"), QMessageBox::AcceptRole);
        ask.addButton(QStringLiteral("Cancelar"), QMessageBox::RejectRole);
        ask.exec();
        force = ask.clickedButton() == write;
        if (!force)
            return;
    }
    QString error;
    if (!editIdentification(index, chosen, force, &error)) {
        QMessageBox::warning(this,
                             QStringLiteral("Editar identificação"),
                             QStringLiteral("A identificação não foi gravada:\n%1").arg(error));
    }
}
