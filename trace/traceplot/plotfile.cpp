#include "traceplot/plotpainter.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgGenerator>

// A plot written to a file: a PNG, or an SVG by its name.
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
    const QString problem = drawingProblem();
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    const View view = shown ? *shown : fullView(series);
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Traços OTDR"));
        QPainter painter;
        if (!painter.begin(&svg)) {
            if (error)
                *error = QStringLiteral("não foi possível criar o arquivo");
            return false;
        }
        paint(painter, QRect(QPoint(0, 0), size), series, view, markers);
        painter.end();
        if (!QFileInfo::exists(path)) {
            if (error)
                *error = QStringLiteral("não foi possível criar o arquivo");
            return false;
        }
        return true;
    }
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paint(painter, image.rect(), series, view, markers);
    painter.end();
    QImageWriter writer(path, "png");
    if (writer.write(image))
        return true;
    if (error)
        *error = QFileInfo(QFileInfo(path).absolutePath()).isDir()
                     ? QStringLiteral("não foi possível gravar a imagem (permissão ou disco cheio)")
                     : QStringLiteral("a pasta não existe");
    return false;
}

} // namespace TracePlot
