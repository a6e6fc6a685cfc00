// Draws the program's icon, a stylised fibre trace on a dark panel, and writes it three ways:
// the executable's resource icon (one 282 x 194 image of 32 bits per pixel, an uncompressed
// DIB with its mask), the window icon file (the same artwork at 256 x 176, the largest an ICO
// directory can describe and Qt can read), and a PNG for desktop entries. The output is the
// same on every run.

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

namespace {

constexpr int Width = 282;
constexpr int Height = 194;
constexpr int WindowIconWidth = 256;

QImage draw()
{
    QImage image(Width, Height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient panel(0, 0, 0, Height);
    panel.setColorAt(0, QColor(0x24, 0x31, 0x3f));
    panel.setColorAt(1, QColor(0x10, 0x17, 0x20));
    p.setPen(QPen(QColor(0x5a, 0x6e, 0x80), 3));
    p.setBrush(panel);
    p.drawRoundedRect(QRectF(2.5, 2.5, Width - 5, Height - 5), 18, 18);

    p.setPen(QPen(QColor(255, 255, 255, 28), 1));
    for (int x = 30; x < Width - 10; x += 28)
        p.drawLine(QLineF(x, 16, x, Height - 16));
    for (int y = 30; y < Height - 10; y += 28)
        p.drawLine(QLineF(14, y, Width - 14, y));

    // Launch reflection, a slope with a splice and a connector, the fibre's end, noise.
    QPainterPath trace;
    trace.moveTo(18, 150);
    trace.lineTo(24, 26);
    trace.lineTo(32, 58);
    trace.lineTo(96, 80);
    trace.lineTo(100, 88);
    trace.lineTo(150, 104);
    trace.lineTo(153, 70);
    trace.lineTo(157, 114);
    trace.lineTo(214, 132);
    trace.lineTo(218, 92);
    trace.lineTo(223, 166);
    const int noise[] = {3, -4, 2, -2, 5, -3, 1, -5, 4, -1, 2, -3};
    for (int i = 0; i < 12; ++i)
        trace.lineTo(226 + i * 4.3, 168 + noise[i]);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x3f, 0xe0, 0xa0, 70), 11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(trace);
    p.setPen(QPen(QColor(0x7d, 0xff, 0xc4), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(trace);
    p.end();
    return image;
}

void put16(QByteArray &b, quint16 v)
{
    b.append(char(v & 0xFF)).append(char(v >> 8));
}

void put32(QByteArray &b, quint32 v)
{
    put16(b, quint16(v & 0xFFFF));
    put16(b, quint16(v >> 16));
}

QByteArray ico(const QImage &image)
{
    const int Width = image.width();
    const int Height = image.height();
    const int maskRow = ((Width + 31) / 32) * 4;
    const quint32 pixelBytes = quint32(Width * Height * 4);
    const quint32 maskBytes = quint32(maskRow * Height);

    QByteArray dib;
    put32(dib, 40);
    put32(dib, Width);
    put32(dib, Height * 2); // colour rows, then mask rows
    put16(dib, 1);
    put16(dib, 32);
    put32(dib, 0); // BI_RGB
    put32(dib, pixelBytes + maskBytes);
    put32(dib, 0);
    put32(dib, 0);
    put32(dib, 0);
    put32(dib, 0);
    for (int y = Height - 1; y >= 0; --y) { // bottom-up, BGRA
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < Width; ++x)
            put32(dib, line[x]);
    }
    for (int y = Height - 1; y >= 0; --y) { // transparent where alpha is zero
        QByteArray row(maskRow, '\0');
        for (int x = 0; x < Width; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = char(row.at(x / 8) | (0x80 >> (x % 8)));
        }
        dib += row;
    }

    QByteArray file;
    put16(file, 0);
    put16(file, 1);                             // icon
    put16(file, 1);                             // one image
    file.append(char(Width < 256 ? Width : 0)); // 0 stands for 256 or more; the DIB holds it
    file.append(char(Height < 256 ? Height : 0));
    file.append(char(0)); // no palette
    file.append(char(0));
    put16(file, 1);
    put16(file, 32);
    put32(file, quint32(dib.size()));
    put32(file, 6 + 16);
    return file + dib;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        QTextStream(stderr) << "usage: otdr-icongen RESOURCE.ico WINDOW.ico IMAGE.png\n";
        return 2;
    }
    const QImage image = draw();
    const QImage window = image.scaledToWidth(WindowIconWidth, Qt::SmoothTransformation);
    for (const auto &[path, bytes] :
         {std::pair{args.at(1), ico(image)}, {args.at(2), ico(window)}}) {
        QFile icon(path);
        if (!icon.open(QIODevice::WriteOnly) || icon.write(bytes) < 0) {
            QTextStream(stderr) << "cannot write " << path << "\n";
            return 1;
        }
    }
    if (!image.save(args.at(3), "PNG")) {
        QTextStream(stderr) << "cannot write " << args.at(3) << "\n";
        return 1;
    }
    return 0;
}
