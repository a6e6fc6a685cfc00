#include "testkit.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>

#include <stdlib.h>

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

InstrumentRig::InstrumentRig(const QList<StoredFile> &files, bool plugged)
{
    if (plugged)
        port = device.addPort();
    instrument = std::make_unique<SimulatedInstrument>(plugged ? device.masterFd(port) : -1);
    instrument->setFiles(files);
    QObject::connect(
        instrument.get(), &SimulatedInstrument::linkDropRequested, [this] { device.unplug(port); });
}

void InstrumentRig::unplug(bool hangUp)
{
    instrument->detach();
    device.unplug(port, hangUp);
}

void InstrumentRig::plug()
{
    port = device.addPort();
    instrument->attach(device.masterFd(port));
}

QList<StoredFile> sampleFiles(int count, int size)
{
    QList<StoredFile> files;
    for (int i = 0; i < count; ++i) {
        QByteArray content(size, '\0');
        for (int b = 0; b < size; ++b)
            content[b] = char((b * 7 + i * 31) & 0xFF);
        files.append({QByteArray("trace") + QByteArray::number(i) + ".sor", content, {}});
    }
    return files;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

int openDescriptors(const QString &path)
{
    int count = 0;
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System);
    for (const QFileInfo &fd : fds) {
        if (fd.symLinkTarget() == path)
            ++count;
    }
    return count;
}

QString terminalPath(int masterFd)
{
    char name[128];
    return ptsname_r(masterFd, name, sizeof name) == 0 ? QString::fromLatin1(name) : QString();
}

int runningQThreads()
{
    int count = 0;
    const QStringList tasks
        = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "QThread")
            ++count;
    }
    return count;
}
