#include "traceplot/plotpainter.h"

#include "traceplot/picturefile.h"

#include <QGuiApplication>
#include <QPainter>

// A plot written to a picture file, and whether this process can draw at all.
namespace TracePlot {

QString drawingProblem()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QString();
    return QStringLiteral("não é possível desenhar: o programa não iniciou a parte gráfica");
}

bool save(const QString &path,
          const QVector<Series> &series,
          const QSize &size,
          QString *error,
          const View *shown,
          const Markers &markers)
{
    const View view = shown ? *shown : fullView(series);
    return savePicture(
        path,
        size,
        QStringLiteral("Traços OTDR"),
        [&](QPainter &painter, const QRect &area) { paint(painter, area, series, view, markers); },
        error);
}

} // namespace TracePlot
