#pragma once

#include "sor/cursor.h"
#include "sor/sorreader.h"

namespace Sor {
namespace Internal {

class Reader
{
public:
    Reader(const QByteArray &file, Trace &trace, Detail detail)
        : file(file)
        , t(trace)
        , detail(detail)
    {
    }

    void run();

private:
    QString decode(const QByteArray &raw, const char *field);
    QString fixedText(Cursor &c, int n, const char *field) { return fixedText(c.fixed(n), field); }
    QString fixedText(QByteArray raw, const char *field);
    QString text(Cursor &c, const char *field) { return decode(c.text(), field); }
    bool readMap(qint64 &mapSize);
    bool readMapEntries(Cursor &entries, int count, qint32 declared);
    void readBlock(const BlockInfo &block);
    void readGeneral(Cursor &c);
    void readSupplier(Cursor &c);
    void readFixed(Cursor &c);
    void readEvents(Cursor &c);
    void readData(Cursor &c);
    void digest(const uchar *p, qint32 count, int factor);
    void derive();
    void deriveFromFixed();
    void placePoints(double groupIndex, qint64 fixedPoints);
    void placeOnSpan(double groupIndex, qint64 fixedPoints);
    QString lastWriter() const;

    const QByteArray &file;
    Trace &t;
    const Detail detail;
    qint64 checksumAt = -1;
    qint64 pointCount = 0;
};

} // namespace Internal
} // namespace Sor
