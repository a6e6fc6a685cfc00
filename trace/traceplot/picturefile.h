#pragma once

#include <QSize>
#include <QString>

#include <functional>

class QPainter;
class QRect;

namespace TracePlot {

// A picture written as an SVG (by the file's suffix) or else a PNG, `size` large, drawn by
// `draw` into the rectangle it is given; the SVG carries `title`. False, with the reason in
// Portuguese, where it cannot be written.
bool savePicture(const QString &path,
                 const QSize &size,
                 const QString &title,
                 const std::function<void(QPainter &, const QRect &)> &draw,
                 QString *error);

} // namespace TracePlot
