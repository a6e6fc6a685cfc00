#include "viewerwindow.h"

#include "analysis/eventaxis.h"
#include "linkmapwidget.h"
#include "plotwidget.h"

#include <QTableWidget>

#include <cmath>

void ViewerWindow::updateLinkMap()
{
    if (set.size() == 0) {
        linkMap->setMap(std::nullopt);
        return;
    }
    QString why;
    const std::optional<LinkMerge::Link> link = set.link(&why);
    if (link)
        linkMap->setMap(LinkMap::mapOf(*link));
    else
        linkMap->setMap(std::nullopt, why);
}

void ViewerWindow::linkEventChosen(int item, double distanceM)
{
    Q_UNUSED(item);
    // The selected trace's own row for that event, where it has one within its resolution.
    const int index = selected();
    if (!set.contains(index) || !set.at(index).shown().keyEvents) {
        plotWidget->setMarker(0, distanceM);
        return;
    }
    const Sor::Trace &t = set.at(index).shown();
    const double tolerance = Sor::eventToleranceM(t);
    int nearest = -1;
    for (int row = 0; row < t.keyEvents->events.size(); ++row) {
        const double gap = std::abs(t.keyEvents->events.at(row).distanceM - distanceM);
        if (gap <= tolerance
            && (nearest < 0
                || gap < std::abs(t.keyEvents->events.at(nearest).distanceM - distanceM)))
            nearest = row;
    }
    if (nearest >= 0 && nearest < eventTable->rowCount()) {
        QSignalBlocker quiet(eventTable);
        eventTable->selectRow(nearest);
    }
    plotWidget->setMarker(0, distanceM);
}
