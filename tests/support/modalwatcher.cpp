#include "modalwatcher.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>

ModalWatcher::ModalWatcher(QObject *parent)
    : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &ModalWatcher::poll);
    timer.start(20);
}

void ModalWatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (answering)
        return;
    // The main window is itself application-modal; only what opens over it is answered.
    if (!modal || !modal->isVisible() || qobject_cast<QMainWindow *>(modal))
        return;
    // A box without buttons is the program's own status box: the program closes it.
    auto *message = qobject_cast<QMessageBox *>(modal);
    if (message && message->buttons().isEmpty())
        return;
    Seen seen{QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle(), {}};
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        seen.text = box->text();
    record.append(seen);
    answering = true;
    if (!handlers.isEmpty())
        handlers.takeFirst()(modal);
    else
        dismiss(modal);
    answering = false;
}

void ModalWatcher::dismiss(QWidget *widget)
{
    if (auto *box = qobject_cast<QMessageBox *>(widget))
        box->done(QMessageBox::Ok);
    else if (auto *dialog = qobject_cast<QDialog *>(widget))
        dialog->reject();
}

ModalWatcher::Handler ModalWatcher::chooseFile(const QString &path)
{
    return [path](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog)
            return dismiss(widget);
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
        const QFileInfo info(path);
        dialog->setDirectory(info.absolutePath());
        // selectFile() leaves a focused name field alone; type the name as a user would.
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(info.fileName());
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept is protected
    };
}

ModalWatcher::Handler ModalWatcher::chooseDirectory(const QString &path)
{
    return [path](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog)
            return dismiss(widget);
        dialog->setDirectory(path);
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->clear();
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept is protected
    };
}
