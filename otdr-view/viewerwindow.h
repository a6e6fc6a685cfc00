#pragma once

#include "acceptance/verdict.h"
#include "analysis/analysis.h"
#include "comparisondialog.h"
#include "route/route.h"
#include "sor/soredit.h"
#include "sor/sortrace.h"
#include "traceplot/plotpainter.h"
#include "traceset/traceset.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class ArchiveDialog;
class BaselineDialog;
class CableWindow;
class LinkMapWidget;
class PlotWidget;
class QLabel;
class QPushButton;
class QSettings;
class QListWidget;
class QTabWidget;
class QTableWidget;

// Where the viewer keeps what it remembers between runs (recent files, the report's heading),
// the same on every system.
std::unique_ptr<QSettings> viewerSettings();

// otdr-view's window: traces overlaid on one plot, the selected one's events, information and
// marker read-out, and exports of the plot and of the selected trace.
class ViewerWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit ViewerWindow(QWidget *parent = nullptr);
    ~ViewerWindow() override;

    // Opens each file; those that cannot be shown are named, with the reason, in one message.
    // Returns how many were opened.
    int openFiles(const QStringList &paths);
    void removeTrace(int index);
    // The files opened lately, newest first: a closed trace is opened again from here.
    QStringList recentFiles() const;
    int traceCount() const { return set.size(); }
    // The open traces and what is done with them; the window shows them.
    const TraceSet &traces() const { return set; }
    int selected() const;
    void select(int index);
    PlotWidget *plot() const { return plotWidget; }
    bool exportImage(const QString &path, QString *error = nullptr) const;
    // Why a file the viewer would export must not be written (over a trace); empty: it may.
    QString outputProblem(const QString &path) const;
    // The selected trace's events found by the analysis in place of the file's, and back.
    void reanalyze(const Analysis::Thresholds &thresholds);
    void showFileEvents();
    // The limits the event table judges by; none shows no verdicts.
    void setLimits(const std::optional<Acceptance::Limits> &limits);
    // What a report's pages say of who made it; remembered between runs.
    using ReportHeading = TraceSet::ReportHeading;
    ReportHeading reportHeading() const;
    void setReportHeading(const ReportHeading &heading);
    // The report of the traces that are open, judged by those limits, under that heading.
    bool exportReport(const QString &path, QString *error = nullptr) const;
    bool exportCsv(const QString &path, QString *error = nullptr) const;
    // The trace's identification changed in its file, the original kept as FILE.orig; a damaged
    // file only when forced. The trace is read again from what was written.
    bool editIdentification(int index,
                            const Sor::Edits &edits,
                            bool force = false,
                            QString *error = nullptr);
    // Two open traces of one fibre compared in a window of their own; none, with the reason,
    // when they are not the two ends (or two wavelengths) of one fibre.
    ComparisonDialog *
    compare(ComparisonDialog::Kind kind, int first, int second, QString *problem = nullptr);
#ifdef OTDR_HAVE_ARCHIVE
    // The trace archive's search, on db (empty: the user's own archive); what it opens is
    // opened here.
    ArchiveDialog *showArchive(const QString &db = QString());
#endif
    // The selected trace against its as-built (a file), in a window of its own; none, with the
    // reason, when the baseline cannot be read or the two are not one fibre seen from one end
    // (unless forced).
    BaselineDialog *compareWithBaseline(int index,
                                        const QString &basePath,
                                        QString *problem = nullptr,
                                        bool force = false);
    // A folder's cable job in a window of its own; a matrix cell chosen there opens the fibre's
    // traces here, zoomed on that closure.
    CableWindow *openCableProject(const QString &folder, const QStringList &markers = {});
    // Opens the files not yet open and shows the first one around a distance, marker A on it.
    // A closure's traces opened around it, A selected; B drawn as given (on A's axis), its label
    // saying so.
    void showAround(const QStringList &paths,
                    double distanceM,
                    const Sor::Trace &mirroredB = Sor::Trace(),
                    const QString &note = QString());
    // Says in the status bar that a file was written, with a button to open its folder.
    void showSaved(const QString &path);
    // A cable's route: marker A's read-out then also says where it lies in the street,
    // calibrated on the selected trace's events; false with the reason when it cannot be read.
    bool loadRoute(const QString &path, QString *error = nullptr);
    const std::optional<Route::Route> &route() const
    {
        return cableRoute;
    }
    // The route with the selected trace's events and end placed on it, as KML.
    bool exportKml(const QString &path, QString *error = nullptr) const;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Changes the selected trace's events, where one is selected, and shows them, it still chosen.
    void changeSelectedEvents(const std::function<void(int)> &change);
    QWidget *buildTraceList();
    QWidget *buildTabs();
    QWidget *buildReadout();
    void buildMenus();
    void chooseFiles();
    void remember(const QString &path);
    void fillRecentMenu();
    void showShortcuts();
    void chooseImage();
    void chooseCsv();
    // Asks where to write, adds the suffix the user left out, writes, and says why it could not.
    void exportAs(const QString &title,
                  const QString &proposed,
                  const QString &filter,
                  const std::function<bool(const QString &, QString *)> &write);
    void chooseThresholds();
    void chooseLimits();
    void chooseReport();
    bool askReportHeading();
    void chooseComparison(ComparisonDialog::Kind kind);
    void chooseCableProject();
    void chooseIdentification();
    void chooseRoute();
    void chooseBaseline();
    void chooseKml();
    // Where marker A lies on the route, as rows of the read-out.
    QString routeRows(int index, double markerM) const;
    // Why the route is not this trace's: it was loaded for another cable (or, without cable
    // ids, another fibre). Empty when it may be.
    QString routeMismatch(int index) const;
    QVector<TracePlot::Series> series() const;
    void refresh();
    void showSelected();
    void showInformation(const Sor::Trace &trace,
                         const QString &fileName,
                         const TraceSet::LinkFigures &figures);
    void fillEventTable(const Sor::Trace *trace);
    void updateReadout();
    void eventChosen(int row);

    TraceSet set;
    // The open traces as one link, drawn above the plot; a symbol clicked chooses its event.
    void updateLinkMap();
    void linkEventChosen(int item, double distanceM);

    PlotWidget *plotWidget = nullptr;
    LinkMapWidget *linkMap = nullptr;
    QListWidget *traceList = nullptr;
    QTableWidget *eventTable = nullptr;
    QTabWidget *tabs = nullptr;
    QAction *fileEventsAction = nullptr;
    QMenu *recentMenu = nullptr;
    QLabel *information = nullptr;
    QLabel *readout = nullptr;
    QLabel *savedLabel = nullptr;
    QPushButton *openFolder = nullptr;
    QString savedFolder;
    std::optional<Route::Route> cableRoute;
    // The cable and fibre the route was loaded for: the selected trace's then, or the first
    // trace it is shown on.
    mutable std::optional<QPair<QString, QString>> routeOwner;
    QPushButton *kmlButton = nullptr;
    bool sectionsShown = false; // the analysis' sections under the chosen trace
};
