#include "editcommand.h"

#include "commandline.h"
#include "editpatterns.h"
#include "sor/savefile.h"
#include "sor/soredit.h"
#include "sor/sortext.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

struct Plan
{
    QString input;
    QString output;
    QByteArray original;
    Sor::Rewritten result;
    QStringList changes; // "cabo: "A" → "B""
};

// The edits asked of a trace, their patterns filled in for it; each field that changes listed
// in `plan`.
bool editsOf(const Sor::Trace &trace,
             const PatternFields &fields,
             const EditOptions &o,
             Sor::Edits &edits,
             Plan &plan,
             QString &error)
{
    for (const Sor::EditableField &e : Sor::editableFields()) {
        const QString option = QLatin1String(e.key);
        if (!o.values.contains(option))
            continue;
        QString value;
        if (!fillPattern(o.values.value(option), fields, value, error))
            return false;
        edits.*e.edit = value;
        const QString current = trace.general ? (*trace.general).*e.current : QString();
        if (value != current) {
            plan.changes << QStringLiteral("%1: \"%2\" → \"%3\"")
                                .arg(QString::fromUtf8(e.word), current, value);
        }
    }
    return true;
}

// Where the edited file goes: -o, the same name in --out-dir or in place, or --rename's.
bool nameOutput(Plan &plan,
                const PatternFields &fields,
                const Sor::Edits &edits,
                const EditOptions &o,
                QString &error)
{
    if (!o.output.isEmpty()) {
        plan.output = o.output;
        return true;
    }
    const QFileInfo info(plan.input);
    QString name = info.fileName();
    if (!o.rename.isEmpty()) {
        // The output is named by the values it will hold.
        PatternFields edited = fields;
        edited.cable = edits.cableId.value_or(fields.cable);
        edited.fiber = edits.fiberId.value_or(fields.fiber);
        if (!fillPattern(o.rename, edited, name, error))
            return false;
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
            || name == QLatin1String(".") || name == QLatin1String("..")) {
            error = QStringLiteral("--rename dá um nome de arquivo inválido: \"%1\"").arg(name);
            return false;
        }
    }
    plan.output = o.inPlace && o.rename.isEmpty()
                      ? plan.input
                      : QDir(o.inPlace ? info.path() : o.outputDir).filePath(name);
    if (plan.output.isEmpty())
        error = QStringLiteral("sem saída");
    return !plan.output.isEmpty();
}

// One file read and edited in memory, its output named; false with a message when it cannot be.
bool planOne(const QString &path, int n, const EditOptions &o, Plan &plan, QTextStream &err)
{
    int status = Command::Sound;
    const std::optional<Sor::Trace> trace = CommandLine::openTrace(
        path, err, status, CommandLine::Need::Bytes, Sor::Detail::Check, &plan.original);
    if (!trace)
        return false;
    plan.input = path;
    const PatternFields fields = patternFields(*trace, path, n);
    Sor::Edits edits;
    QString error;
    if (editsOf(*trace, fields, o, edits, plan, error)) {
        plan.result = Sor::rewrite(plan.original, *trace, edits, o.force);
        error = plan.result.error;
        // A damaged trace is edited only when asked to.
        if (plan.result.ok())
            nameOutput(plan, fields, edits, o, error);
        else if (trace->damaged() && !o.force)
            error += QStringLiteral(" (--force edita assim mesmo)");
    }
    if (!error.isEmpty())
        CommandLine::fileProblem(err, QDir::toNativeSeparators(path), error);
    return error.isEmpty();
}

QString key(const QString &path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
#ifdef Q_OS_WIN
    return absolute.toLower();
#else
    return absolute;
#endif
}

// Two outputs with one name, an output over another input, or over a file that is there: an
// error before anything is written.
bool outputsAreSafe(const QVector<Plan> &plans, const EditOptions &o, QTextStream &err)
{
    QMap<QString, QString> inputs;
    for (const Plan &p : plans)
        inputs.insert(key(p.input), p.input);
    QMap<QString, QString> outputs;
    for (const Plan &p : plans) {
        const QString k = key(p.output);
        const QString native = QDir::toNativeSeparators(p.output);
        if (outputs.contains(k)) {
            err << QStringLiteral("otdr-sor: %1 e %2 seriam gravados com o mesmo nome: %3\n")
                       .arg(QDir::toNativeSeparators(outputs.value(k)),
                            QDir::toNativeSeparators(p.input),
                            native);
            return false;
        }
        outputs.insert(k, p.input);
        if (k == key(p.input)) {
            if (!o.inPlace) {
                err << QStringLiteral("otdr-sor: %1: a saída é o próprio arquivo; use --in-place\n")
                           .arg(native);
                return false;
            }
        } else if (inputs.contains(k)) {
            err << QStringLiteral("otdr-sor: %1: a saída de %2 cairia sobre outro arquivo da "
                                  "lista\n")
                       .arg(native, QDir::toNativeSeparators(p.input));
            return false;
        } else if (QFileInfo::exists(p.output)) {
            err << QStringLiteral("otdr-sor: %1: já existe; nada foi gravado\n").arg(native);
            return false;
        }
    }
    return true;
}

void showPlan(const Plan &p, QTextStream &out)
{
    out << QDir::toNativeSeparators(p.input) << QStringLiteral(" → ")
        << QDir::toNativeSeparators(p.output) << "\n";
    if (p.changes.isEmpty())
        out << QStringLiteral("  (nenhum campo muda)\n");
    for (const QString &change : p.changes)
        out << "  " << change << "\n";
}

// One plan carried out: the original kept when asked, then the new file written whole.
bool carryOut(const Plan &p, const EditOptions &o, QString &error)
{
    if (o.inPlace && o.backup && !QFileInfo::exists(Sor::backupPath(p.input))) {
        if (!Sor::saveFile(Sor::backupPath(p.input), p.original, &error)) {
            error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(Sor::backupPath(p.input)),
                                                 error);
            return false;
        }
    }
    if (!Sor::saveFile(p.output, p.result.bytes, &error)) {
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(p.output), error);
        return false;
    }
    // Renamed in place: the new name replaces the old file, whose bytes the backup holds.
    if (o.inPlace && key(p.output) != key(p.input) && !QFile::remove(p.input)) {
        error = QStringLiteral("%1: gravado como %2, mas o original não pôde ser removido")
                    .arg(QDir::toNativeSeparators(p.input), QDir::toNativeSeparators(p.output));
        return false;
    }
    return true;
}

// How many of -o, --out-dir and --in-place are given: one, or none for a dry run; false, with
// the reason on `err`, otherwise.
bool oneOutput(const QStringList &files, const EditOptions &o, int &modes, QTextStream &err)
{
    modes = int(!o.output.isEmpty()) + int(!o.outputDir.isEmpty()) + int(o.inPlace);
    if (modes != 1 && !(o.dryRun && modes == 0)) {
        err << QStringLiteral("otdr-sor: escolha uma saída: -o ARQUIVO, --out-dir PASTA ou "
                              "--in-place\n");
        return false;
    }
    if (!o.output.isEmpty() && (files.size() != 1 || !o.rename.isEmpty())) {
        err << QStringLiteral("otdr-sor: -o grava um só arquivo, sem --rename; para vários, use "
                              "--out-dir ou --in-place\n");
        return false;
    }
    return true;
}

} // namespace

int editFiles(const QStringList &files, const EditOptions &o, QTextStream &out, QTextStream &err)
{
    int modes = 0;
    if (!oneOutput(files, o, modes, err))
        return Command::Usage; // nothing written
    // A dry run shows where the files would go, the folder made or not yet.
    const bool noFolder = !o.outputDir.isEmpty() && !QFileInfo(o.outputDir).isDir();
    if (noFolder && !o.dryRun) {
        CommandLine::fileProblem(
            err, QDir::toNativeSeparators(o.outputDir), QStringLiteral("a pasta não existe"));
        return Command::Usage; // nothing written
    }
    QVector<Plan> plans;
    for (int i = 0; i < files.size(); ++i) {
        Plan plan;
        if (!planOne(files.at(i), i + 1, o, plan, err))
            return Command::Usage; // nothing written
        plans.append(plan);
    }
    if (modes == 1 && !outputsAreSafe(plans, o, err))
        return Command::Usage; // nothing written
    for (const Plan &p : plans) {
        for (const QString &warning : p.result.warnings) {
            err << "otdr-sor: " << QDir::toNativeSeparators(p.input) << QStringLiteral(": aviso: ")
                << warning << "\n";
        }
    }
    if (o.dryRun) {
        for (Plan &p : plans) {
            if (modes == 0)
                p.output = QStringLiteral("(sem saída)");
            showPlan(p, out);
        }
        if (noFolder)
            err << "otdr-sor: " << QDir::toNativeSeparators(o.outputDir)
                << QStringLiteral(": a pasta não existe; crie-a antes de gravar\n");
        return Command::Sound;
    }
    QStringList done;
    for (const Plan &p : plans) {
        QString error;
        if (!carryOut(p, o, error)) {
            err << QStringLiteral("otdr-sor: não foi possível gravar %1\n").arg(error);
            err << (done.isEmpty() ? QStringLiteral("otdr-sor: nenhum arquivo foi gravado\n")
                                   : QStringLiteral("otdr-sor: já gravados: %1\n")
                                         .arg(done.join(QStringLiteral(", "))));
            return Command::Damaged;
        }
        done << QDir::toNativeSeparators(p.output);
        showPlan(p, out);
    }
    return Command::Sound;
}

namespace {

// The identification fields, each a text or a pattern, named by its option.
const QList<QCommandLineOption> fields = [] {
    QList<QCommandLineOption> all;
    for (const auto &[name, help] : {std::pair{"cable", "Identificação do cabo."},
                                     std::pair{"fiber", "Identificação da fibra."},
                                     std::pair{"location-a", "Local A (origem)."},
                                     std::pair{"location-b", "Local B (destino)."},
                                     std::pair{"operator", "Operador."},
                                     std::pair{"comment", "Comentário."}})
        all.append({QString::fromUtf8(name), QString::fromUtf8(help), QStringLiteral("TEXTO")});
    return all;
}();
const QCommandLineOption output = CommandLine::outputOption(
    QStringLiteral("O arquivo a gravar (um só traço)."), QStringLiteral("SAIDA.sor"));
const QCommandLineOption outDir{QStringLiteral("out-dir"),
                                QStringLiteral("Grava cada traço nesta pasta."),
                                QStringLiteral("PASTA")};
const QCommandLineOption inPlace{
    QStringLiteral("in-place"),
    QStringLiteral("Grava sobre o próprio arquivo, guardando o original como ARQUIVO.orig.")};
const QCommandLineOption noBackup{QStringLiteral("no-backup"),
                                  QStringLiteral("Com --in-place, não guarda o original.")};
const QCommandLineOption renameAs{
    QStringLiteral("rename"),
    QStringLiteral("Nomeia cada saída pelo padrão, com os valores já editados, p. ex. "
                   "'{cable}_{fiber}_{wavelength}.sor'."),
    QStringLiteral("PADRAO")};
const QCommandLineOption dryRun{QStringLiteral("dry-run"),
                                QStringLiteral("Mostra o que mudaria, sem gravar nada.")};
const QCommandLineOption force{QStringLiteral("force"),
                               QStringLiteral("Edita também um arquivo danificado.")};

// otdr-sor edit: the command line of editFiles.
std::optional<int>
run(const QStringList &files, const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    EditOptions edit;
    for (const QCommandLineOption &field : fields) {
        if (parser.isSet(field))
            edit.values.insert(field.names().first(), parser.value(field));
    }
    edit.output = parser.value(output);
    edit.outputDir = parser.value(outDir);
    edit.inPlace = parser.isSet(inPlace);
    edit.backup = !parser.isSet(noBackup);
    edit.rename = parser.value(renameAs);
    edit.dryRun = parser.isSet(dryRun);
    edit.force = parser.isSet(force);
    return editFiles(files, edit, out, err);
}

} // namespace

Command::Declaration editCommand()
{
    return {
        QStringLiteral("edit"),
        QStringLiteral("corrige a identificação sem tocar na medida"),
        {CommandLine::tracesArgument()},
        Command::eachAlone(fields) + QList<Command::Choice>{{{output, outDir, inPlace}, true, true}}
            + Command::eachAlone({noBackup, renameAs, dryRun, force}),
        run,
        QStringLiteral("Os textos e o --rename aceitam campos: {n} (posição na lista, desde 1; "
                       "{n:03} com três dígitos), {name} (nome do arquivo sem extensão), "
                       "{wavelength}, {cable} e {fiber} (os valores do arquivo; no --rename, os já "
                       "editados)."),
        // -o names the trace it writes: nothing is drawn, no fonts are needed.
        Command::Output::Written};
}
