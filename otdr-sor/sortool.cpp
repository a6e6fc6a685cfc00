#include "sortool.h"

#include "sor/sorexport.h"
#include "sor/sorreader.h"
#include "traceplot/plotpainter.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

#include <cmath>

namespace {

enum Status { Sound = 0, Damaged = 1, Usage = 2 };

const QString UsageText = QStringLiteral(
    "Uso: otdr-sor COMANDO [opções] ARQUIVO...\n\n"
    "Comandos:\n"
    "  check ARQUIVO...            diz se cada traço está íntegro ou danificado\n"
    "  info ARQUIVO                resumo do traço e tabela de eventos\n"
    "  export --json|--csv ARQUIVO o traço em JSON (--points inclui os pontos) ou CSV\n"
    "  plot ARQUIVO... -o SAIDA    os traços sobrepostos em PNG ou SVG\n\n"
    "otdr-sor COMANDO --help mostra as opções de cada comando.\n");

QString decimal(double value, int decimals)
{
    return QString::number(value, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString checksumText(const Sor::Checksum &checksum)
{
    switch (checksum.state) {
    case Sor::ChecksumState::Valid:
        return QStringLiteral("soma de verificação válida (%1)").arg(methodName(checksum.method));
    case Sor::ChecksumState::NotProvided:
        return checksum.stored ? QStringLiteral("soma de verificação não fornecida (gravada 0)")
                               : QStringLiteral("sem soma de verificação");
    case Sor::ChecksumState::CannotVerify:
        return QStringLiteral("soma de verificação não verificável: o método do fabricante não "
                              "é conhecido");
    case Sor::ChecksumState::Mismatch:
        return QStringLiteral("a soma de verificação não confere (gravada 0x%1)")
            .arg(*checksum.stored, 4, 16, QLatin1Char('0'));
    }
    return QString();
}

// The reasons a trace is damaged, for one line.
QString damageText(const Sor::Trace &trace)
{
    QStringList reasons = trace.errors;
    if (trace.checksum.state == Sor::ChecksumState::Mismatch)
        reasons.append(checksumText(trace.checksum));
    return reasons.join(QStringLiteral("; "));
}

bool readable(const QString &path, QTextStream &err)
{
    const QFileInfo info(path);
    if (info.isFile() && info.isReadable())
        return true;
    err << "otdr-sor: " << path << ": "
        << (!info.exists() ? QStringLiteral("arquivo não encontrado")
            : info.isDir() ? QStringLiteral("é uma pasta")
                           : QStringLiteral("sem permissão de leitura"))
        << "\n";
    return false;
}

int check(const QStringList &files, QTextStream &out, QTextStream &err)
{
    int status = Sound;
    for (const QString &path : files) {
        if (!readable(path, err)) {
            status = Usage;
            continue;
        }
        const Sor::Trace trace = Sor::readFile(path);
        if (trace.damaged()) {
            out << path << ": danificado: " << damageText(trace) << "\n";
            status = std::max(status, int(Damaged));
        } else if (!trace.warnings.isEmpty()) {
            out << path << QStringLiteral(": íntegro, com avisos: ")
                << trace.warnings.join(QStringLiteral("; ")) << " (" << checksumText(trace.checksum)
                << ")\n";
        } else {
            out << path << QStringLiteral(": íntegro (") << checksumText(trace.checksum) << ")\n";
        }
    }
    return status;
}

int info(const QString &path, QTextStream &out, QTextStream &err)
{
    if (!readable(path, err))
        return Usage;
    const Sor::Trace t = Sor::readFile(path);
    auto row = [&out](const QString &label, const QString &value) {
        out << label.leftJustified(22) << value << "\n";
    };
    row(QStringLiteral("Arquivo:"), path);
    row(QStringLiteral("Versão:"), QString::number(t.version));
    if (t.supplier) {
        row(QStringLiteral("Fabricante:"), t.supplier->supplier);
        row(QStringLiteral("Modelo:"), t.supplier->mainframe);
        row(QStringLiteral("Número de série:"), t.supplier->mainframeSerial);
    }
    if (t.wavelengthNm)
        row(QStringLiteral("Comprimento de onda:"), QStringLiteral("%1 nm").arg(*t.wavelengthNm));
    if (t.fixed && !t.fixed->pulseWidthsNs.isEmpty()) {
        QStringList pulses;
        for (int ns : t.fixed->pulseWidthsNs)
            pulses << QStringLiteral("%1 ns").arg(ns);
        row(QStringLiteral("Pulso:"), pulses.join(QStringLiteral(", ")));
    }
    if (t.rangeM)
        row(QStringLiteral("Alcance:"), decimal(*t.rangeM / 1000.0, 3) + QStringLiteral(" km"));
    row(QStringLiteral("Pontos:"),
        t.spacingM ? QStringLiteral("%1, a cada %2 m").arg(t.points()).arg(decimal(*t.spacingM, 3))
                   : QString::number(t.points()));
    if (t.groupIndex)
        row(QStringLiteral("Índice de grupo:"), decimal(*t.groupIndex, 5));
    if (t.date)
        row(QStringLiteral("Data:"), t.date->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")));
    if (t.general) {
        row(QStringLiteral("Cabo:"), t.general->cableId);
        row(QStringLiteral("Fibra:"), t.general->fiberId);
    }
    row(QStringLiteral("Soma de verificação:"), checksumText(t.checksum));
    for (const QString &w : t.warnings)
        row(QStringLiteral("Aviso:"), w);
    for (const QString &e : t.errors)
        row(QStringLiteral("Erro:"), e);
    if (t.keyEvents && !t.keyEvents->events.isEmpty()) {
        out << "\nEventos:\n";
        out << QStringLiteral("  Nº  Distância (km)  Perda (dB)  Reflectância (dB)  Código\n");
        for (const Sor::Event &e : t.keyEvents->events) {
            out << "  " << QString::number(e.number).leftJustified(4)
                << decimal(e.distanceM / 1000.0, 4).rightJustified(14) << "  "
                << decimal(e.lossDb, 3).rightJustified(10) << "  "
                << decimal(e.reflectanceDb, 3).rightJustified(17) << "  " << e.code << "\n";
        }
        if (t.keyEvents->endToEndLossDb)
            out << "  Perda total: " << decimal(*t.keyEvents->endToEndLossDb, 3) << " dB\n";
    }
    return t.damaged() ? Damaged : Sound;
}

int exportTrace(const QString &path, bool json, bool points, QTextStream &out, QTextStream &err)
{
    if (!readable(path, err))
        return Usage;
    const Sor::Trace t = Sor::readFile(path);
    if (json) {
        out << QJsonDocument(Sor::toJson(t, points)).toJson(QJsonDocument::Indented);
    } else {
        if (t.points() == 0) {
            err << "otdr-sor: " << path << QStringLiteral(": o traço não tem pontos\n");
            return Damaged;
        }
        QBuffer csvText;
        csvText.open(QIODevice::WriteOnly);
        Sor::writeCsv(t, csvText);
        out << QString::fromLatin1(csvText.data());
    }
    return t.damaged() ? Damaged : Sound;
}

int plot(const QStringList &files, const QString &output, const QSize &size, QTextStream &err)
{
    QList<Sor::Trace> traces;
    QVector<TracePlot::Series> series;
    for (const QString &path : files) {
        if (!readable(path, err))
            return Usage;
        traces.append(Sor::readFile(path));
        if (traces.last().points() == 0) {
            err << "otdr-sor: " << path
                << QStringLiteral(": o traço não tem pontos para desenhar\n");
            return Damaged;
        }
    }
    for (int i = 0; i < traces.size(); ++i)
        series.append(
            {&traces.at(i), QFileInfo(files.at(i)).fileName(), TracePlot::seriesColour(i)});
    QString error;
    if (!TracePlot::save(output, series, size, &error)) {
        err << "otdr-sor: " << output << ": " << error << "\n";
        return Usage;
    }
    return Sound;
}

} // namespace

int runSorTool(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Verifica, descreve, exporta e desenha traços "
                                                    "OTDR no formato SOR."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Mostra esta ajuda."));
    parser.addOption(help);
    parser.addPositionalArgument(QStringLiteral("comando"),
                                 QStringLiteral("check, info, export ou plot"));
    parser.parse(arguments);
    const QString command = parser.positionalArguments().value(0);

    parser.clearPositionalArguments();
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Exporta em JSON."));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("Exporta distância e nível por ponto em CSV."));
    const QCommandLineOption points(QStringLiteral("points"),
                                    QStringLiteral("Inclui os pontos do traço no JSON."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Imagem a gravar: .png ou .svg."),
                                    QStringLiteral("SAIDA"));
    const QCommandLineOption size(QStringLiteral("size"),
                                  QStringLiteral("Tamanho da imagem (1600x900)."),
                                  QStringLiteral("LxA"),
                                  QStringLiteral("1600x900"));
    if (command == QLatin1String("check")) {
        parser.addPositionalArgument(QStringLiteral("check"), QString());
        parser.addPositionalArgument(
            QStringLiteral("ARQUIVO"), QStringLiteral("Traços SOR."), QStringLiteral("ARQUIVO..."));
    } else if (command == QLatin1String("info")) {
        parser.addPositionalArgument(QStringLiteral("info"), QString());
        parser.addPositionalArgument(QStringLiteral("ARQUIVO"), QStringLiteral("Um traço SOR."));
    } else if (command == QLatin1String("export")) {
        parser.addPositionalArgument(QStringLiteral("export"), QString());
        parser.addPositionalArgument(QStringLiteral("ARQUIVO"), QStringLiteral("Um traço SOR."));
        parser.addOptions({json, csv, points});
    } else if (command == QLatin1String("plot")) {
        parser.addPositionalArgument(QStringLiteral("plot"), QString());
        parser.addPositionalArgument(
            QStringLiteral("ARQUIVO"), QStringLiteral("Traços SOR."), QStringLiteral("ARQUIVO..."));
        parser.addOptions({output, size});
    }
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help)) {
        out << (command.isEmpty() ? UsageText : parser.helpText());
        return Sound;
    }
    if (!parsed) {
        err << "otdr-sor: " << parser.errorText() << "\n";
        return Usage;
    }
    const QStringList files = parser.positionalArguments().mid(1);
    if (command == QLatin1String("check") && !files.isEmpty())
        return check(files, out, err);
    if (command == QLatin1String("info") && files.size() == 1)
        return info(files.first(), out, err);
    if (command == QLatin1String("export") && files.size() == 1
        && parser.isSet(json) != parser.isSet(csv))
        return exportTrace(files.first(), parser.isSet(json), parser.isSet(points), out, err);
    if (command == QLatin1String("plot") && !files.isEmpty() && parser.isSet(output)) {
        const QStringList wh = parser.value(size).split(QLatin1Char('x'));
        const QSize s(wh.value(0).toInt(), wh.value(1).toInt());
        if (s.width() < 200 || s.height() < 150 || s.width() > 10000 || s.height() > 10000) {
            err << QStringLiteral("otdr-sor: tamanho de imagem inválido: ") << parser.value(size)
                << "\n";
            return Usage;
        }
        return plot(files, parser.value(output), s, err);
    }
    err << (command.isEmpty() || QStringList{"check", "info", "export", "plot"}.contains(command)
                ? UsageText
                : QStringLiteral("otdr-sor: comando desconhecido: %1\n\n%2")
                      .arg(command, UsageText));
    return Usage;
}
