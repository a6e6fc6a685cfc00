#include "viewerwindow.h"

#include "plotwidget.h"
#include "sor/outputguard.h"
#include "sor/savefile.h"
#include "sor/sorexport.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"
#include "traceplot/markers.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>

#include <algorithm>

// The viewer's files: opening traces (menu, command line, dropped on the window) and writing
// the plot as an image and the selected trace as CSV.

namespace {
// The size of an exported image.
const QSize ImageSize(1600, 900);
// Markers start at these shares of the first trace's length.
constexpr double MarkerAStart = 0.1;
constexpr double MarkerBStart = 0.6;
// How many files Arquivo › Arquivos recentes remembers.
constexpr int RecentFiles = 10;
} // namespace

int ViewerWindow::openFiles(const QStringList &paths)
{
    QStringList failures;
    const bool first = set.size() == 0;
    const int opened = set.open(paths, &failures);
    for (int i = set.size() - opened; i < set.size(); ++i)
        remember(set.at(i).path);
    if (opened > 0) {
        refresh();
        select(traceCount() - 1);
        if (first || !plotWidget->markers().a) {
            const Sor::Trace &t = set.at(0).trace;
            const double from = t.distanceM.front();
            const double along = t.distanceM.back() - from;
            plotWidget->setMarker(0, TracePlot::snap(t, from + along * MarkerAStart));
            plotWidget->setMarker(1, TracePlot::snap(t, from + along * MarkerBStart));
        }
    }
    if (!failures.isEmpty()) {
        QMessageBox::warning(
            this,
            QStringLiteral("Arquivo não aberto"),
            QStringLiteral("Não foi possível abrir:\n\n%1").arg(failures.join(QLatin1Char('\n'))));
    }
    return opened;
}

std::unique_ptr<QSettings> viewerSettings()
{
    return std::make_unique<QSettings>(QStringLiteral("otdr"), QStringLiteral("otdr-view"));
}

QStringList ViewerWindow::recentFiles() const
{
    return viewerSettings()->value(QStringLiteral("recentFiles")).toStringList();
}

void ViewerWindow::remember(const QString &path)
{
    QStringList files = recentFiles();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    files.removeAll(absolute);
    files.prepend(absolute);
    viewerSettings()->setValue(QStringLiteral("recentFiles"), QVariant(files.mid(0, RecentFiles)));
}

void ViewerWindow::fillRecentMenu()
{
    recentMenu->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files.at(i);
        // Numbered mnemonics: the names themselves would share letters.
        const QString name = QFileInfo(path).fileName();
        QAction *again
            = recentMenu->addAction(i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(name) : name,
                                    this,
                                    [this, path] { openFiles({path}); });
        again->setStatusTip(path);
    }
    recentMenu->setEnabled(!files.isEmpty());
}

QString ViewerWindow::outputProblem(const QString &path) const
{
    return set.outputProblem(path);
}

bool ViewerWindow::exportImage(const QString &path, QString *error) const
{
    return set.exportImage(path, ImageSize, plotWidget->view(), plotWidget->markers(), error);
}

bool ViewerWindow::exportCsv(const QString &path, QString *error) const
{
    return set.exportCsv(selected(), path, error);
}

void ViewerWindow::chooseFiles()
{
    const QStringList paths = QFileDialog::getOpenFileNames(
        this,
        QStringLiteral("Abrir traços"),
        QString(),
        QStringLiteral("Traços OTDR (*.sor);;Todos os arquivos (*)"));
    if (!paths.isEmpty())
        openFiles(paths);
}

void ViewerWindow::exportAs(const QString &title,
                            const QString &proposed,
                            const QString &filter,
                            const std::function<bool(const QString &, QString *)> &write)
{
    QString path = QFileDialog::getSaveFileName(this, title, proposed, filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + QFileInfo(proposed).suffix();
    QString error;
    if (!write(path, &error)) {
        QMessageBox::warning(
            this, title, QStringLiteral("Não foi possível gravar \"%1\":\n%2").arg(path, error));
        return;
    }
    showSaved(path);
}

// A word that the file is there, and a way to its folder, without a box to close.
void ViewerWindow::showSaved(const QString &path)
{
    savedFolder = QFileInfo(path).absolutePath();
    savedLabel->setText(QStringLiteral("Salvo: %1")
                            .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
    savedLabel->show();
    openFolder->show();
}

void ViewerWindow::chooseImage()
{
    if (traceCount() == 0)
        return;
    exportAs(QStringLiteral("Exportar imagem"),
             QStringLiteral("tracos.png"),
             QStringLiteral("Imagem PNG (*.png)"),
             [this](const QString &path, QString *error) { return exportImage(path, error); });
}

void ViewerWindow::chooseCsv()
{
    const int index = selected();
    if (!set.contains(index))
        return;
    exportAs(QStringLiteral("Exportar CSV"),
             QFileInfo(set.at(index).path).completeBaseName() + QStringLiteral(".csv"),
             QStringLiteral("CSV (*.csv)"),
             [this](const QString &path, QString *error) { return exportCsv(path, error); });
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    if (!paths.isEmpty()) {
        event->acceptProposedAction();
        openFiles(paths);
    }
}
