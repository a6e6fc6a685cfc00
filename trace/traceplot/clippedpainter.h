#pragma once

#include <QPainter>
#include <QRect>

namespace TracePlot {

// A part of the plot drawn inside the plot's area only: the painter saved and clipped while the
// part draws, and left as it was after.
class ClippedPainter
{
public:
    ClippedPainter(QPainter &painter, const QRect &area)
        : painter(painter)
    {
        painter.save();
        painter.setClipRect(area);
    }
    ~ClippedPainter() { painter.restore(); }
    ClippedPainter(const ClippedPainter &) = delete;
    ClippedPainter &operator=(const ClippedPainter &) = delete;

private:
    QPainter &painter;
};

} // namespace TracePlot
