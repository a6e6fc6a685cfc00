#include "viewerwindow.h"

#include "acceptance/twoway.h"
#include "route/tracelocate.h"
#include "sor/savefile.h"
#include "sor/sortext.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

bool ViewerWindow::loadRoute(const QString &path, QString *error)
{
    const Route::Read read = Route::readRoute(path);
    if (!read.route) {
        if (error)
            *error = read.error;
        return false;
    }
    cableRoute = read.route;
    routeOwner.reset();
    if (set.contains(selected()))
        routeMismatch(selected());
    kmlButton->show();
    updateReadout();
    return true;
}

void ViewerWindow::chooseRoute()
{
    const QString path = QFileDialog::getOpenFileName(this,
                                                      QStringLiteral("Localizar na rota"),
                                                      QString(),
                                                      QStringLiteral("Rotas (*.csv *.kml)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!loadRoute(path, &error))
        QMessageBox::warning(this,
                             QStringLiteral("Rota não lida"),
                             QStringLiteral("Não foi possível usar a rota:\n%1").arg(error));
}

namespace {

QPair<QString, QString> identity(const Sor::Trace &t)
{
    return t.general ? qMakePair(t.general->cableId.trimmed(), t.general->fiberId.trimmed())
                     : QPair<QString, QString>();
}

} // namespace

QString ViewerWindow::routeMismatch(int index) const
{
    if (!cableRoute || !set.contains(index))
        return QString();
    const QPair<QString, QString> trace = identity(set.at(index).trace);
    if (!routeOwner) {
        routeOwner = trace;
        return QString();
    }
    const auto differ = [](const QString &x, const QString &y) {
        return !x.isEmpty() && !y.isEmpty() && x.compare(y, Qt::CaseInsensitive) != 0
               && !Acceptance::namedFromTheOtherEnd(x, y);
    };
    // A route is a cable's: every fibre of it follows it. Without cable ids, the fibre's.
    if (differ(routeOwner->first, trace.first))
        return QStringLiteral("a rota foi aberta para o cabo %1, e este traço é do cabo %2")
            .arg(routeOwner->first, trace.first);
    if ((routeOwner->first.isEmpty() || trace.first.isEmpty())
        && differ(routeOwner->second, trace.second))
        return QStringLiteral("a rota foi aberta para a fibra %1, e este traço é da fibra %2")
            .arg(routeOwner->second, trace.second);
    return QString();
}

QString ViewerWindow::routeRows(int index, double markerM) const
{
    if (!cableRoute || !set.contains(index))
        return QString();
    QString rows = QStringLiteral("<tr><td colspan='2'><b>Na rota</b> (%1: %2)</td></tr>")
                       .arg(QFileInfo(cableRoute->path).fileName().toHtmlEscaped(),
                            cableRoute->readAs.toHtmlEscaped());
    const auto row = [&rows](const QString &label, const QString &value) {
        rows += QStringLiteral("<tr><td>%1</td><td align='right'>%2</td></tr>").arg(label, value);
    };
    const auto note = [&rows](const QString &text) {
        rows += QStringLiteral("<tr><td colspan='2'><i>%1</i></td></tr>").arg(text.toHtmlEscaped());
    };
    const QString mismatch = routeMismatch(index);
    if (!mismatch.isEmpty()) {
        note(mismatch + QStringLiteral(": não localizado"));
        return rows;
    }
    const Sor::Trace &trace = set.at(index).shown();
    const Route::Located l
        = Route::locateTrace(QFileInfo(set.at(index).path).fileName(), trace, *cableRoute, {}, {});
    // Past the fibre's end (or off the trace) there is no fibre to place.
    const Route::TraceEvents events = Route::eventsOf(trace);
    const double last = trace.distanceM.empty() ? 0 : trace.distanceM.back();
    const double end = std::min(last, events.endM.value_or(last) + events.pulseM);
    if (trace.distanceM.empty() || markerM > end) {
        note(QStringLiteral("A está além do fim da fibra (%1): não localizado")
                 .arg(Sor::kilometres(events.endM.value_or(last))));
        return rows;
    }
    const Route::Position p = Route::place(*cableRoute,
                                           l.calibration,
                                           markerM,
                                           QStringLiteral("A"),
                                           trace.spacingM.value_or(0),
                                           events.pulseM);
    row(QStringLiteral("A"), Route::whereText(p).toHtmlEscaped());
    row(QStringLiteral("Distância na rota"),
        QStringLiteral("%1 ± %2 m")
            .arg(Sor::decimal(p.routeM, 1), Sor::decimal(p.uncertaintyM, 1)));
    if (p.place)
        row(QStringLiteral("Coordenadas"),
            QStringLiteral("%1, %2").arg(QString::number(p.place->lat, 'f', 6),
                                         QString::number(p.place->lon, 'f', 6)));
    row(QStringLiteral("Calibração"),
        QStringLiteral("EFL %1 %, %2 m antes da origem, %3 emendas")
            .arg(Sor::decimal(100 * l.calibration.model.efl, 2),
                 Sor::decimal(l.calibration.model.offsetM, 1))
            .arg(std::count_if(l.calibration.anchors.cbegin(),
                               l.calibration.anchors.cend(),
                               [](const Route::Anchor &a) { return !a.flagged; })));
    for (const QString &warning : cableRoute->warnings + l.calibration.warnings)
        note(warning);
    return rows;
}

bool ViewerWindow::exportKml(const QString &path, QString *error) const
{
    const int index = selected();
    if (!cableRoute || !set.contains(index)) {
        if (error)
            *error = QStringLiteral("nenhuma rota, ou nenhum traço escolhido");
        return false;
    }
    QString problem = outputProblem(path);
    if (problem.isEmpty())
        problem = routeMismatch(index);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    const Route::Located l = Route::locateTrace(
        QFileInfo(set.at(index).path).fileName(), set.at(index).shown(), *cableRoute, {}, {});
    return Sor::saveFile(path, Route::kml(*cableRoute, l.positions), error);
}

void ViewerWindow::chooseKml()
{
    if (!cableRoute || !set.contains(selected()))
        return;
    exportAs(QStringLiteral("Exportar KML"),
             QFileInfo(set.at(selected()).path).completeBaseName() + QStringLiteral(".kml"),
             QStringLiteral("KML (*.kml)"),
             [this](const QString &path, QString *error) { return exportKml(path, error); });
}
