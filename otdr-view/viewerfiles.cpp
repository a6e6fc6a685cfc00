#include "viewerwindow.h"

#include "plotwidget.h"
#include "sor/outputguard.h"
#include "sor/savefile.h"
#include "sor/sorexport.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"
#include "traceplot/markers.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
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
    int opened = 0;
    for (const QString &path : paths) {
        auto document = std::make_unique<Document>();
        document->path = path;
        const QFileInfo info(path);
        const QString unreadable = Sor::unreadableReason(path);
        if (!unreadable.isEmpty()) {
            failures << QStringLiteral("%1: %2").arg(info.fileName(), unreadable);
            continue;
        }
        document->trace = Sor::readFile(path);
        if (document->trace.points() == 0) {
            const QString reason = !document->trace.errors.isEmpty()
                                       ? document->trace.errors.first()
                                       : QStringLiteral("o arquivo não traz pontos de traço");
            failures << QStringLiteral("%1: %2").arg(info.fileName(), reason);
            continue;
        }
        // The first colour no open trace has.
        while (std::any_of(documents.cbegin(), documents.cend(), [&](const auto &d) {
            return d->colour == document->colour;
        }))
            ++document->colour;
        remember(path);
        documents.push_back(std::move(document));
        ++opened;
    }
    if (opened > 0) {
        const bool first = plotWidget->markers().a == std::nullopt;
        refresh();
        select(traceCount() - 1);
        if (first) {
            const Sor::Trace &t = documents.front()->trace;
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

// Nothing the viewer exports is written over a trace, open or not.
QString ViewerWindow::outputProblem(const QString &path) const
{
    QStringList paths;
    for (const auto &d : documents)
        paths << d->path;
    return Sor::outputProblem(path, paths);
}

bool ViewerWindow::exportImage(const QString &path, QString *error) const
{
    const QString problem = outputProblem(path);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    return TracePlot::save(
        path, series(), ImageSize, error, &plotWidget->view(), plotWidget->markers());
}

bool ViewerWindow::exportCsv(const QString &path, QString *error) const
{
    const int index = selected();
    if (index < 0 || index >= traceCount())
        return false;
    const QString problem = outputProblem(path);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    const Sor::Trace &trace = documents[size_t(index)]->trace;
    return Sor::saveFile(
        path, [&trace](QIODevice &file) { return Sor::writeCsv(trace, file); }, error);
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

void ViewerWindow::chooseImage()
{
    if (traceCount() == 0)
        return;
    QString path = QFileDialog::getSaveFileName(this,
                                                QStringLiteral("Exportar imagem"),
                                                QStringLiteral("tracos.png"),
                                                QStringLiteral("Imagem PNG (*.png)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    QString error;
    if (!exportImage(path, &error))
        QMessageBox::warning(
            this,
            QStringLiteral("Exportar imagem"),
            QStringLiteral("Não foi possível gravar \"%1\":\n%2").arg(path, error));
}

void ViewerWindow::chooseCsv()
{
    const int index = selected();
    if (index < 0)
        return;
    const QString proposed
        = QFileInfo(documents[size_t(index)]->path).completeBaseName() + QStringLiteral(".csv");
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Exportar CSV"), proposed, QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportCsv(path, &error))
        QMessageBox::warning(
            this,
            QStringLiteral("Exportar CSV"),
            QStringLiteral("Não foi possível gravar \"%1\":\n%2").arg(path, error));
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
