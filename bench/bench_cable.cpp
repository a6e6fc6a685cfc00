// The cable job: on the real two-ended job in ../shared/traces/field (splice_A, splice_B) when
// it is there, and on a generated cable of --fibres fibres from both ends at 1310 and 1550 nm.
// Prints what was found and how long it took; asserts nothing (the tests do).
#include "cable/cablejob.h"
#include "cable/cablexlsx.h"
#include "report/report.h"
#include "sor/sorreader.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

double medianSeconds(const std::function<void()> &work, int runs)
{
    QVector<double> times;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer clock;
        clock.start();
        work();
        times << clock.nsecsElapsed() / 1e9;
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

long peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void field(const QString &traces, QTextStream &out)
{
    const QString a = traces + QStringLiteral("/field/splice_A");
    const QString b = traces + QStringLiteral("/field/splice_B");
    if (!QDir(a).exists() || !QDir(b).exists()) {
        out << "field: skipped: " << QDir::cleanPath(traces) << " not found\n";
        return;
    }
    Cable::Options o;
    o.pairMarkers = QStringList{QStringLiteral("ELMMIL"), QStringLiteral("MILELM")};
    Cable::Job job;
    const double seconds = medianSeconds([&] { job = Cable::run({a, b}, o); }, 5);
    int found = 0, measured = 0, absent = 0, bothStored = 0, meanOfStored = 0;
    for (const Cable::Cell &c : job.matrix) {
        for (Cable::How h : {c.howAb, c.howBa}) {
            found += h == Cable::How::Found;
            measured += h == Cable::How::Measured;
            absent += h == Cable::How::Absent;
        }
        if (c.howAb == Cable::How::Found && c.howBa == Cable::How::Found) {
            ++bothStored;
            meanOfStored += std::abs(*c.lossDb - (*c.lossAbDb + *c.lossBaDb) / 2) < 1e-9;
        }
    }
    int everywhere = 0;
    for (const Cable::Fibre &f : job.fibres) {
        bool all = true;
        for (const Cable::Cell &c : job.matrix)
            all = all && (c.fiber != f.fiber || c.lossDb);
        everywhere += all;
    }
    out << "field: " << job.files.size() << " files, " << job.fibres.size() << " fibres, "
        << job.closures.size() << " closures at";
    for (const Cable::Closure &c : job.closures)
        out << " " << QString::number(c.distanceM / 1000, 'f', 2);
    out << " km\n";
    out << "field: fibres with a loss at every closure: " << everywhere << "/" << job.fibres.size()
        << "; end values found " << found << ", measured " << measured << ", absent " << absent
        << "; both stored " << bothStored << ", mean of the stored values " << meanOfStored << "\n";
    out << "field: checks raised: settings " << job.checks.settings.size() << ", duplicates "
        << job.checks.duplicates.size() << ", missing " << job.checks.missing.size() << ", length "
        << job.checks.lengthOutliers.size() << "; reels at the ends: "
        << (job.checks.cords.isEmpty() ? QStringLiteral("none") : job.checks.cords.join("; "))
        << "\n";
    out << "field: whole job " << QString::number(seconds, 'f', 3) << " s (median of 5)\n";

    // A copy of one file under another fibre's name is flagged.
    QTemporaryDir copy;
    for (const QString &dir : {a, b}) {
        for (const QFileInfo &f : QDir(dir).entryInfoList({"*.sor"}, QDir::Files))
            QFile::copy(f.filePath(), copy.filePath(f.fileName()));
    }
    QFile::remove(copy.filePath("ELMMIL0002_1550.sor"));
    QFile::copy(a + "/ELMMIL0001_1550.sor", copy.filePath("ELMMIL0002_1550.sor"));
    // The id inside names fibre 1: the copy is told apart by its name.
    Cable::Job copied = Cable::run({copy.path()}, o);
    // Fibre 3's A end as if measured with a 1 µs pulse: its pulse width changed in place (this
    // maker's checksum cannot be verified, so the file stays readable).
    QFile three(copy.filePath("ELMMIL0003_1550.sor"));
    if (three.open(QIODevice::ReadWrite)) {
        QByteArray bytes = three.readAll();
        const Sor::Trace read = Sor::read(bytes);
        for (const Sor::BlockInfo &block : read.blocks) {
            // The name, date, units, wavelength and two offsets come before the first pulse.
            const qint64 at = block.offset + 10 + 4 + 2 + 2 + 4 + 4 + 2;
            if (block.name == QLatin1String("FxdParams") && read.version == 2
                && at + 2 <= bytes.size() && read.fixed
                && read.fixed->pulseWidthsNs.value(0) == 500) {
                bytes[int(at)] = char(1000 & 0xff);
                bytes[int(at) + 1] = char(1000 >> 8);
                three.seek(0);
                three.write(bytes);
            }
        }
        three.close();
    }
    copied = Cable::run({copy.path()}, o);
    out << "field: the same with fibre 3's A end at 1000 ns: settings "
        << copied.checks.settings.size()
        << (copied.checks.settings.isEmpty() ? QString()
                                             : " (" + copied.checks.settings.first() + ")")
        << "\n";
    out << "field: a copy of fibre 1 as fibre 2: duplicates " << copied.checks.duplicates.size()
        << (copied.checks.duplicates.isEmpty() ? QString()
                                               : " (" + copied.checks.duplicates.first() + ")")
        << "\n";
}

void generated(int fibres, int points, QTextStream &out)
{
    QTemporaryDir dir;
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= fibres; ++i) {
        for (int wavelength : {1310, 1550}) {
            SorWriter::Simulation s;
            s.spacingM = 2;
            s.points = points;
            s.pulseNs = 300;
            s.wavelengthNm = wavelength;
            s.attenuationDbKm = wavelength == 1310 ? 0.33 : 0.19;
            s.seed = quint32(i * 7 + wavelength);
            const double end = points * s.spacingM * 0.8;
            for (int k = 1; k <= 10; ++k)
                s.events << SorWriter::TrueEvent(
                    SorWriter::TrueEvent::Step, end * k / 11, 0.03 + 0.01 * (i % 7), 0);
            s.events << SorWriter::TrueEvent(SorWriter::TrueEvent::End, end, 0, -14);
            SorWriter::Simulation back = SorWriter::fromOtherEnd(s);
            for (const SorWriter::Simulation *one : {&s, &back}) {
                SorWriter::Trace t = SorWriter::simulatedTrace(*one, true);
                t.fiberId = QByteArray::number(i);
                t.locationA = one == &s ? "A" : "B";
                t.locationB = one == &s ? "B" : "A";
                QFile file(dir.filePath(QStringLiteral("%1-%2-%3.sor")
                                            .arg(i, 4, 10, QLatin1Char('0'))
                                            .arg(wavelength)
                                            .arg(one == &s ? "a" : "b")));
                file.open(QIODevice::WriteOnly);
                file.write(SorWriter::write(t));
            }
        }
    }
    out << "generated: " << fibres << " fibres x 2 ends x 2 wavelengths of " << points
        << " points written in " << QString::number(clock.elapsed() / 1000.0, 'f', 1) << " s\n";
    const long before = peakKb();
    clock.restart();
    const Cable::Job job = Cable::run({dir.path()}, {});
    const double seconds = clock.nsecsElapsed() / 1e9;
    out << "generated: " << job.fibres.size() << " fibres, " << job.closures.size() << " closures, "
        << job.matrix.size() << " cells, checks raised " << job.checks.raised() << "; job "
        << QString::number(seconds, 'f', 2) << " s, peak memory " << peakKb() / 1024 << " MB ("
        << before / 1024 << " MB before)\n";
    if (Cable::xlsxAvailable()) {
        clock.restart();
        QString error;
        const bool written = Cable::writeXlsx(job, dir.filePath("cabo.xlsx"), &error);
        out << "generated: workbook " << (written ? QStringLiteral("written") : error) << " in "
            << QString::number(clock.nsecsElapsed() / 1e9, 'f', 2) << " s, "
            << QFileInfo(dir.filePath("cabo.xlsx")).size() / 1024 << " KB; peak memory "
            << peakKb() / 1024 << " MB\n";
    }
    clock.restart();
    QString error;
    const bool written
        = Report::writeCablePdf(job, Report::Options(), dir.filePath("cabo.pdf"), &error);
    out << "generated: PDF " << (written ? QStringLiteral("written") : error) << " in "
        << QString::number(clock.nsecsElapsed() / 1e9, 'f', 1) << " s, "
        << QFileInfo(dir.filePath("cabo.pdf")).size() / 1024 / 1024 << " MB; peak memory "
        << peakKb() / 1024 << " MB\n";
}

} // namespace

int main(int argc, char *argv[])
{
    // The PDF's fonts come through a GUI platform; nothing is shown.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption traces(QStringLiteral("traces"),
                                    QStringLiteral("Folder of the real traces."),
                                    QStringLiteral("DIR"),
                                    QStringLiteral(OTDR_FIELD_TRACES));
    const QCommandLineOption fibres(QStringLiteral("fibres"),
                                    QStringLiteral("Fibres of the generated cable (0: none)."),
                                    QStringLiteral("N"),
                                    QStringLiteral("48"));
    const QCommandLineOption points(QStringLiteral("points"),
                                    QStringLiteral("Points of each generated trace."),
                                    QStringLiteral("N"),
                                    QStringLiteral("40000"));
    parser.addOptions({traces, fibres, points});
    parser.process(app);
    QTextStream out(stdout);
    field(parser.value(traces), out);
    if (parser.value(fibres).toInt() > 0)
        generated(parser.value(fibres).toInt(), parser.value(points).toInt(), out);
    return 0;
}
