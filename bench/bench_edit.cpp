// A batch of 1,000 traces of 30,000 points relabelled with otdr-sor edit (new cable ids from a
// pattern, outputs renamed, each written atomically), against a plain copy of the same files
// (read, written whole) measured in the same run.
#include "editcommand.h"
#include "measure.h"
#include "sor/savefile.h"
#include "sor/soredit.h"
#include "tracesim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption tracesOption("traces", "Traces in the batch.", "N", "1000");
    const QCommandLineOption pointsOption("points", "Points per trace.", "N", "30000");
    parser.addOptions({tracesOption, pointsOption});
    parser.process(app);
    const int count = parser.value(tracesOption).toInt();
    QTextStream out(stdout);

    QTemporaryDir dir;
    QDir(dir.path()).mkdir("copia");
    QDir(dir.path()).mkdir("editado");
    SorWriter::Simulation s;
    s.points = parser.value(pointsOption).toInt();
    s.events = {{SorWriter::TrueEvent::Step, 6000, 0.08, 0},
                {SorWriter::TrueEvent::Reflection, 12000, 0.4, -45},
                {SorWriter::TrueEvent::End, 25000, 0, -14}};
    SorWriter::Trace t = SorWriter::simulatedTrace(s, true);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        t.fiberId = QByteArray("F") + QByteArray::number(i + 1);
        files << dir.filePath(QStringLiteral("traco%1.sor").arg(i + 1, 4, 10, QLatin1Char('0')));
        QFile file(files.last());
        file.open(QIODevice::WriteOnly);
        file.write(SorWriter::write(t));
    }

    double cpu = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    for (const QString &path : files) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QString error;
        Sor::saveFile(dir.filePath("copia/" + QFileInfo(path).fileName()), file.readAll(), &error);
    }
    const double copyCpu = processCpuSeconds() - cpu;
    const double copyWall = wall.elapsed() / 1000.0;

    EditOptions options;
    options.values.insert("cable", "CB-{n:04}");
    options.values.insert("location-b", "POSTE {n}");
    options.rename = "{cable}_{fiber}_{wavelength}.sor";
    options.outputDir = dir.filePath("editado");
    QString sink;
    QTextStream quiet(&sink);
    cpu = processCpuSeconds();
    wall.restart();
    const int status = editFiles(files, options, quiet, quiet);
    const double editCpu = processCpuSeconds() - cpu;
    const double editWall = wall.elapsed() / 1000.0;
    if (status != 0 || QDir(dir.filePath("editado")).entryList(QDir::Files).size() != count) {
        out << "edit failed:\n" << sink;
        return 1;
    }
    out << QString("%1 traces of %2 points (%3 KB each)\n")
               .arg(count)
               .arg(s.points)
               .arg(QFileInfo(files.first()).size() / 1024);
    out << QString("plain copy:  %1 s of processor (%2 s wall)\n")
               .arg(copyCpu, 0, 'f', 2)
               .arg(copyWall, 0, 'f', 2);
    out << QString("otdr-sor edit: %1 s of processor (%2 s wall), %3 times the copy\n")
               .arg(editCpu, 0, 'f', 2)
               .arg(editWall, 0, 'f', 2)
               .arg(copyCpu > 0 ? editCpu / copyCpu : 0, 0, 'f', 1);
    return 0;
}
