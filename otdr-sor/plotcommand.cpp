#include "commandline.h"
#include "traceplot/plotpainter.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

namespace {

const QCommandLineOption output = CommandLine::outputOption(
    QStringLiteral("Imagem a gravar: .png ou .svg."), QStringLiteral("SAIDA"));
const QCommandLineOption size{QStringLiteral("size"),
                              QStringLiteral("Tamanho da imagem (1600x900)."),
                              QStringLiteral("LxA"),
                              QStringLiteral("1600x900")};

// otdr-sor plot: the traces overlaid in one PNG or SVG image.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &, QTextStream &err)
{
    const QStringList wh = parser.value(size).split(QLatin1Char('x'));
    const QSize s(wh.value(0).toInt(), wh.value(1).toInt());
    if (s.width() < 200 || s.height() < 150 || s.width() > 10000 || s.height() > 10000) {
        err << QStringLiteral("otdr-sor: tamanho de imagem inválido: ") << parser.value(size)
            << "\n";
        return Command::Usage;
    }
    const QString image = parser.value(output);
    if (!CommandLine::outputsAllowed(parser, {&output}, files, err))
        return Command::Usage;
    // The image is drawn as its name says: a PNG under another name would mislead.
    const QString suffix = QFileInfo(image).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("svg")) {
        CommandLine::fileProblem(err, image, QStringLiteral("a imagem é .png ou .svg"));
        return Command::Usage;
    }
    QList<Sor::Trace> traces;
    for (const QString &path : files) {
        int status = Command::Sound;
        std::optional<Sor::Trace> trace = CommandLine::openTrace(path, err, status);
        if (!trace)
            return status;
        traces.append(std::move(*trace));
    }
    QVector<TracePlot::Series> series;
    for (int i = 0; i < traces.size(); ++i)
        series.append(
            {&traces.at(i), QFileInfo(files.at(i)).fileName(), TracePlot::seriesColour(i)});
    return CommandLine::wrote(
               image, err, [&](QString *why) { return TracePlot::save(image, series, s, why); })
               ? Command::Sound
               : Command::Usage;
}

} // namespace

Command::Declaration plotCommand()
{
    return {QStringLiteral("plot"),
            QStringLiteral("os traços sobrepostos em PNG ou SVG"),
            {CommandLine::tracesArgument()},
            {{{output}, true}, {{size}}},
            run};
}
