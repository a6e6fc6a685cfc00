#include "traceset/traceset.h"

#include "analysis/eventsource.h"

#include "acceptance/pairing.h"
#include "acceptance/verdict.h"
#include "report/report.h"
#include "sor/outputguard.h"
#include "sor/savefile.h"
#include "sor/sorexport.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

int TraceSet::open(const QStringList &paths, QStringList *failures)
{
    int opened = 0;
    for (const QString &path : paths) {
        const QString name = QFileInfo(path).fileName();
        Sor::Opened read = Sor::openTrace(path);
        if (!read.usable()) {
            if (failures)
                *failures << QStringLiteral("%1: %2").arg(name, read.problem);
            continue;
        }
        auto trace = std::make_unique<Open>();
        trace->path = path;
        trace->trace = std::move(read.trace);
        // A file that stores no events is shown with the analysis' of its points, as after
        // Reanalisar.
        Sor::Trace withEvents = trace->trace;
        if (Analysis::supplyEvents(withEvents))
            trace->analysed = std::move(withEvents);
        while (std::any_of(traces.cbegin(), traces.cend(), [&](const auto &t) {
            return t->colour == trace->colour;
        }))
            ++trace->colour;
        traces.push_back(std::move(trace));
        ++opened;
    }
    return opened;
}

QString TraceSet::close(int index)
{
    if (!contains(index))
        return QString();
    const QString path = traces[size_t(index)]->path;
    traces.erase(traces.begin() + index);
    return path;
}

QStringList TraceSet::paths() const
{
    QStringList all;
    for (const auto &t : traces)
        all << t->path;
    return all;
}

QVector<TracePlot::Series> TraceSet::series(int emphasised) const
{
    QVector<TracePlot::Series> all;
    for (int i = 0; i < size(); ++i) {
        const Open &t = at(i);
        const QString name = QFileInfo(t.path).fileName();
        all.append({&t.drawn(),
                    t.mirrored   ? QStringLiteral("%1 (%2)").arg(name, t.mirroredNote)
                    : t.analysed ? QStringLiteral("%1 (análise)").arg(name)
                                 : name,
                    TracePlot::seriesColour(t.colour),
                    i == emphasised});
    }
    return all;
}

QVector<TracePlot::SectionBand> TraceSet::sectionBands(int index) const
{
    QVector<TracePlot::SectionBand> bands;
    if (!contains(index))
        return bands;
    const Open &t = at(index);
    if (!t.sections)
        t.sections = Analysis::analyze(t.trace, chosenThresholds).sections;
    for (const Analysis::Section &section : *t.sections) {
        TracePlot::SectionBand b;
        b.kind = TracePlot::SectionBand::Kind(int(section.kind));
        b.startM = section.startM;
        b.endM = section.endM;
        b.startDb = section.startLevelDb;
        b.endDb = section.endLevelDb;
        b.halfWidthDb = section.noiseDb.value_or(0);
        b.label = Analysis::sectionText(section.kind);
        bands.append(b);
    }
    return bands;
}

void TraceSet::reanalyze(int index, const Analysis::Thresholds &thresholds)
{
    if (!contains(index))
        return;
    chosenThresholds = thresholds;
    Open &t = *traces[size_t(index)];
    t.mirrored.reset();
    t.analysed = t.trace;
    const Analysis::Result found = Analysis::analyze(t.trace, thresholds);
    t.analysed->keyEvents = Analysis::asKeyEvents(found);
    t.sections = found.sections;
}

void TraceSet::setMirrored(int index, const Sor::Trace &onAxis, const QString &note)
{
    if (!contains(index))
        return;
    Open &t = *traces[size_t(index)];
    t.analysed.reset();
    t.mirrored = onAxis;
    t.mirroredNote = note;
}

void TraceSet::showFileEvents(int index)
{
    if (contains(index))
        traces[size_t(index)]->analysed.reset();
}

QStringList TraceSet::eventVerdicts(int index) const
{
    QStringList verdicts;
    if (!chosenLimits || !contains(index))
        return verdicts;
    const Sor::Trace &trace = at(index).shown();
    const Acceptance::Judgement j = Acceptance::judge(Acceptance::fileLink(trace), *chosenLimits);
    for (const Acceptance::JudgedEvent &e : j.events)
        verdicts << (e.end ? QString()
                           : Acceptance::eventVerdictText(e, *chosenLimits, trace.wavelengthNm));
    // A mirrored trace lists its events from the other end.
    if (at(index).mirrored)
        std::reverse(verdicts.begin(), verdicts.end());
    return verdicts;
}

TraceSet::LinkFigures TraceSet::linkFigures(int index) const
{
    LinkFigures figures;
    if (!contains(index))
        return figures;
    figures.link = Acceptance::fileLink(at(index).shown());
    if (chosenLimits) {
        const Acceptance::Judgement j = Acceptance::judge(figures.link, *chosenLimits);
        figures.verdict = j.verdict;
        figures.reasons = j.reasons;
    }
    return figures;
}

std::optional<LinkMerge::Link> TraceSet::link(QString *problem) const
{
    QVector<LinkMerge::Shot> shots;
    for (const auto &open : traces) {
        if (open->trace.damaged() || open->trace.points() == 0)
            continue;
        shots.append(LinkMerge::shotOf(
            QFileInfo(open->path).fileName(), open->trace, Analysis::analyze(open->trace)));
    }
    const QString why = LinkMerge::oneFibreProblem(shots, false);
    if (!why.isEmpty()) {
        if (problem)
            *problem = why;
        return std::nullopt;
    }
    return LinkMerge::mergeShots(
        shots, chosenLimits ? *chosenLimits : *Acceptance::preset(QStringLiteral("sem limites")));
}

QString TraceSet::outputProblem(const QString &path) const
{
    return Sor::outputProblem(path, paths());
}

bool TraceSet::exportImage(const QString &path,
                           const QSize &size,
                           const TracePlot::View &view,
                           const TracePlot::Markers &markers,
                           QString *error) const
{
    const QString problem = outputProblem(path);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    return TracePlot::save(path, series(), size, error, &view, markers);
}

bool TraceSet::exportCsv(int index, const QString &path, QString *error) const
{
    if (!contains(index))
        return false;
    const QString problem = outputProblem(path);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    const Sor::Trace &trace = at(index).trace;
    return Sor::saveFile(
        path, [&trace](QIODevice &file) { return Sor::writeCsv(trace, file); }, error);
}

bool TraceSet::exportReport(const QString &path, const ReportHeading &heading, QString *error) const
{
    const QString problem = outputProblem(path);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    Report::Options options;
    options.limits = chosenLimits.value_or(*Acceptance::preset(QStringLiteral("sem limites")));
    if (!heading.title.isEmpty())
        options.title = heading.title;
    options.company = heading.company;
    options.operatorName = heading.operatorName;
    if (!heading.logoPath.isEmpty() && !options.logo.load(heading.logoPath)) {
        if (error)
            *error = QStringLiteral("não foi possível ler o logotipo \"%1\"").arg(heading.logoPath);
        return false;
    }
    QVector<Report::Entry> entries = Report::judgeFiles(paths(), options);
    const QVector<Report::Fibre> fibres = Report::pairFibres(entries, options);
    return Report::writePdf(entries, fibres, options, path, error);
}

bool TraceSet::editIdentification(int index, const Sor::Edits &edits, bool force, QString *error)
{
    if (!contains(index))
        return false;
    Open &t = *traces[size_t(index)];
    QFile file(t.path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = Sor::fileErrorText(file, Sor::FileUse::Read);
        return false;
    }
    const QByteArray original = file.readAll();
    file.close();
    const Sor::Rewritten r = Sor::rewrite(original, edits, force);
    if (!r.ok()) {
        if (error)
            *error = r.error;
        return false;
    }
    if (!r.changed)
        return true;
    const QString backup = Sor::backupPath(t.path);
    // The first original is the one worth keeping: a later edit leaves it alone.
    if ((!QFileInfo::exists(backup) && !Sor::saveFile(backup, original, error))
        || !Sor::saveFile(t.path, r.bytes, error))
        return false;
    t.trace = Sor::read(r.bytes);
    t.analysed.reset();
    return true;
}

int TraceSet::likelyPartner(Pairing pairing, int index) const
{
    QVector<const Sor::Trace *> all;
    for (const auto &t : traces)
        all << &t->trace;
    const QVector<Acceptance::Pair> pairs = pairing == Pairing::Directions
                                                ? Acceptance::pairDirections(all, paths())
                                                : Acceptance::pairWavelengths(all);
    for (const Acceptance::Pair &p : pairs) {
        if (p.first == index || p.second == index)
            return p.first == index ? p.second : p.first;
    }
    return -1;
}

std::pair<int, int> TraceSet::comparisonOrder(Pairing pairing, int first, int second) const
{
    if (pairing == Pairing::Wavelengths && contains(first) && contains(second)
        && at(first).trace.wavelengthNm.value_or(0) > at(second).trace.wavelengthNm.value_or(0))
        return {second, first};
    return {first, second};
}
