#pragma once

#include "acceptance/limits.h"
#include "acceptance/verdict.h"
#include "analysis/analysis.h"
#include "linkmerge/linkmerge.h"
#include "sor/soredit.h"
#include "sor/sortrace.h"
#include "traceplot/plotpainter.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// The traces open in a viewer, with the events shown for each (the file's or the analysis'), the
// limits they are judged by, and what is done with them: open, close, re-analyse, judge, export,
// edit, pair for a comparison. Knows nothing of widgets: a window shows it and forwards the
// user's actions, and a test drives it directly.
class TraceSet
{
public:
    struct Open
    {
        QString path;
        Sor::Trace trace;
        // The trace with the analysis' events in place of its own, while they are shown.
        std::optional<Sor::Trace> analysed;
        // The far end of a fibre drawn on the near end's axis (as a cable's closure shows it):
        // what the plot and the event table show, while the figures stay the file's own.
        std::optional<Sor::Trace> mirrored;
        QString mirroredNote; // "espelhado sobre F03-a.sor"
        // Kept while the trace is open, whatever is opened or closed beside it.
        int colour = 0;
        // What the analysis told the trace is made of, once asked for.
        mutable std::optional<std::vector<Analysis::Section>> sections;
        // The events judged: the file's own, or the analysis'.
        const Sor::Trace &shown() const { return analysed ? *analysed : trace; }
        // What is drawn and listed: mirrored where it is, else the events judged.
        const Sor::Trace &drawn() const { return mirrored ? *mirrored : shown(); }
    };

    // What a report's pages say of who made it.
    struct ReportHeading
    {
        QString title;
        QString company;
        QString operatorName;
        QString logoPath; // a PNG at the left of each page's header; none when empty
    };

    enum class Pairing { Directions, Wavelengths };

    // Opens each file that holds a trace, in the first colour no open trace has; each one that
    // cannot be shown is named in `failures` with the reason. Returns how many were opened.
    int open(const QStringList &paths, QStringList *failures = nullptr);
    // Closes a trace; returns its path (empty for no such trace).
    QString close(int index);
    int size() const { return int(traces.size()); }
    bool contains(int index) const { return index >= 0 && index < size(); }
    const Open &at(int index) const { return *traces[size_t(index)]; }
    QStringList paths() const;
    // What a plot draws: each trace shown, labelled and coloured, the chosen one emphasised.
    QVector<TracePlot::Series> series(int emphasised = -1) const;

    // A trace drawn mirrored onto another's axis, said in its label; the analysis takes it back
    // to its own.
    void setMirrored(int index, const Sor::Trace &onAxis, const QString &note);
    // A trace's sections as the plot draws them on demand: what the analysis (with the
    // thresholds chosen) told it is made of.
    QVector<TracePlot::SectionBand> sectionBands(int index) const;

    // The analysis' events in place of a trace's own, with these thresholds; and back.
    void reanalyze(int index, const Analysis::Thresholds &thresholds);
    void showFileEvents(int index);
    const Analysis::Thresholds &thresholds() const { return chosenThresholds; }

    // The limits events are judged by; none judges nothing.
    void setLimits(const std::optional<Acceptance::Limits> &limits) { chosenLimits = limits; }
    const std::optional<Acceptance::Limits> &limits() const { return chosenLimits; }
    // Each shown event's verdict in words, empty for the fibre end; none without limits.
    QStringList eventVerdicts(int index) const;
    // The link of the events shown (length, total loss, ORL) and its verdict by the limits
    // chosen (no limits: SEM LIMITES), with why.
    struct LinkFigures
    {
        Acceptance::Link link;
        Acceptance::Verdict verdict = Acceptance::Verdict::NoLimits;
        QStringList reasons;
    };
    LinkFigures linkFigures(int index) const;

    // Why a file must not be written (over a trace, open or not); empty when it may.
    QString outputProblem(const QString &path) const;
    bool exportImage(const QString &path,
                     const QSize &size,
                     const TracePlot::View &view,
                     const TracePlot::Markers &markers,
                     QString *error = nullptr) const;
    bool exportCsv(int index, const QString &path, QString *error = nullptr) const;
    bool
    exportReport(const QString &path, const ReportHeading &heading, QString *error = nullptr) const;

    // The trace's identification changed in its file, the first original kept as FILE.orig; a
    // damaged file only when forced. The trace is read again from what was written.
    bool editIdentification(int index,
                            const Sor::Edits &edits,
                            bool force = false,
                            QString *error = nullptr);

    // The open traces as one link (their shots merged, splitters named, judged by the limits
    // chosen); none, with why, when they are not shots of one fibre from one end. Damaged
    // traces stay out of it.
    std::optional<LinkMerge::Link> link(QString *problem = nullptr) const;

    // The trace the labels point to as the other end (or other wavelength) of one; -1 for none.
    int likelyPartner(Pairing pairing, int index) const;
    // Two traces in the order they are compared: shorter wavelength first.
    std::pair<int, int> comparisonOrder(Pairing pairing, int first, int second) const;

private:
    std::vector<std::unique_ptr<Open>> traces;
    Analysis::Thresholds chosenThresholds;
    std::optional<Acceptance::Limits> chosenLimits;
};
