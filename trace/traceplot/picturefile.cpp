#include "traceplot/picturefile.h"

#include "traceplot/plotpainter.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgGenerator>

namespace TracePlot {

namespace {

bool failed(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

bool savePicture(const QString &path,
                 const QSize &size,
                 const QString &title,
                 const std::function<void(QPainter &, const QRect &)> &draw,
                 QString *error)
{
    const QString problem = drawingProblem();
    if (!problem.isEmpty())
        return failed(error, problem);
    if (QFileInfo(path).isDir())
        return failed(error, QStringLiteral("é uma pasta"));
    const QRect area(QPoint(0, 0), size);
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(area);
        svg.setTitle(title);
        QPainter painter;
        if (!painter.begin(&svg))
            return failed(error, QStringLiteral("não foi possível criar o arquivo"));
        draw(painter, area);
        painter.end();
        // The generator says nothing when it cannot write: the file is not there.
        if (!QFileInfo::exists(path))
            return failed(error, QStringLiteral("não foi possível criar o arquivo"));
        return true;
    }
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    draw(painter, area);
    painter.end();
    QImageWriter writer(path, "png");
    if (writer.write(image))
        return true;
    return failed(
        error,
        QFileInfo(QFileInfo(path).absolutePath()).isDir()
            ? QStringLiteral("não foi possível gravar a imagem (permissão ou disco cheio)")
            : QStringLiteral("a pasta não existe"));
}

} // namespace TracePlot
