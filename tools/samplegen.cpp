// Writes the project's own sample traces (SOR version 2, synthetic fibres at 1310 and 1550 nm)
// into OUTPUT_DIRECTORY, into OUTPUT_DIRECTORY/pairs one fibre from both ends at two
// wavelengths, into OUTPUT_DIRECTORY/link one fibre shot with three pulses at two wavelengths,
// into OUTPUT_DIRECTORY/pon a PON link through splitters of 1:4 and 1:8, and into
// OUTPUT_DIRECTORY/cases the traces a reader must get right.
// The output is the same on every run.

#include "sor/savefile.h"
#include "sorwriter.h"
#include "tracesim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

namespace {

bool save(const QString &path, const QByteArray &bytes)
{
    QString error;
    if (Sor::saveFile(path, bytes, &error))
        return true;
    QTextStream(stderr) << "cannot write " << path << ": " << error << "\n";
    return false;
}

QString slug(const QString &name)
{
    QString s;
    for (const QChar c : name.toLower())
        s += c.isLetterOrNumber() && c.unicode() < 128 ? c : QLatin1Char('-');
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // A parser, so that --help is help and not a folder to write into.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes the project's sample traces."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("OUTPUT_DIRECTORY"),
                                 QStringLiteral("Where the samples are written."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1) {
        QTextStream(stderr) << "usage: otdr-samplegen OUTPUT_DIRECTORY\n";
        return 2;
    }
    const QDir out(parser.positionalArguments().at(0));
    if (!QDir().mkpath(out.filePath(QStringLiteral("cases")))) {
        QTextStream(stderr) << "cannot create " << out.path() << "\n";
        return 1;
    }
    for (const SorWriter::Case &sample : SorWriter::sampleTraces()) {
        if (!save(out.filePath(sample.name), SorWriter::write(sample.trace)))
            return 1;
    }
    if (!QDir().mkpath(out.filePath(QStringLiteral("pairs"))))
        return 1;
    for (const SorWriter::Case &sample : SorWriter::twoEndedSamples()) {
        if (!save(out.filePath(QStringLiteral("pairs/") + sample.name),
                  SorWriter::write(sample.trace)))
            return 1;
    }
    if (!QDir().mkpath(out.filePath(QStringLiteral("link")))
        || !QDir().mkpath(out.filePath(QStringLiteral("pon"))))
        return 1;
    for (const SorWriter::PulseShot &shot : SorWriter::multiPulseShots()) {
        if (!save(out.filePath(QStringLiteral("link/") + shot.name), SorWriter::write(shot.trace)))
            return 1;
    }
    if (!save(out.filePath(QStringLiteral("pon/pon-1x4-1x8.sor")),
              SorWriter::write(SorWriter::ponTrace(SorWriter::ponLink({6.6, 9.9})))))
        return 1;
    const QList<SorWriter::Case> cases = SorWriter::readerCases();
    for (int i = 0; i < cases.size(); ++i) {
        const QString name = QStringLiteral("cases/%1-%2.sor")
                                 .arg(i + 1, 2, 10, QLatin1Char('0'))
                                 .arg(slug(cases.at(i).name));
        if (!save(out.filePath(name), SorWriter::write(cases.at(i).trace)))
            return 1;
    }
    return 0;
}
