#pragma once

#include "traceplot/plotmath.h"

#include <QColor>
#include <QFontMetrics>
#include <QPair>
#include <QRect>
#include <QString>
#include <QVector>

#include <optional>

class QPainter;

// What the analysis told a trace is made of, as a plot shows it on demand: each section of
// fibre as a thin band along its line (its noise either side), and every stretch as a strip of
// its kind's colour along the bottom of the plot.
namespace TracePlot {

struct SectionBand
{
    enum class Kind { Inside, Launch, Fibre, Tail, Ghost, Floor };
    Kind kind = Kind::Fibre;
    double startM = 0;
    double endM = 0;
    std::optional<double> startDb; // a fibre's line, at its start and end
    std::optional<double> endDb;
    double halfWidthDb = 0;
    QString label; // its kind in words, written over its strip where there is room
};

// The strip's height and the narrowest band (pixels).
constexpr int SectionStrip = 6;
constexpr double ThinnestBand = 8;

QColor bandColour(SectionBand::Kind kind);
// Where each band's word is written over its strip, where it has room: its text and box.
QVector<QPair<QString, QRectF>> sectionLabels(const QRect &area,
                                              const View &view,
                                              const QVector<SectionBand> &bands,
                                              const QFontMetrics &metrics);
void paintSections(QPainter &painter,
                   const QRect &area,
                   const View &view,
                   const QVector<SectionBand> &bands);

} // namespace TracePlot
