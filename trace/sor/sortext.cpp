#include "sor/sortext.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace Sor {

QString decimal(double value, int decimals)
{
    if (std::isnan(value))
        return QStringLiteral("sem dados");
    return QString::number(value, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString signedDecimal(double value, int decimals)
{
    return (value >= 0 ? QStringLiteral("+") : QString()) + decimal(value, decimals);
}

QString thresholdsText(const FixedParameters &f)
{
    // Thousandths of a dB, a reflectance's sign left out.
    const auto given = [](quint16 value, int decimals, int sign) {
        return value == 0 || value == 0xffff
                   ? QStringLiteral("não definido")
                   : decimal(sign * value / 1000.0, decimals) + QStringLiteral(" dB");
    };
    return QStringLiteral("perda %1, refletância %2, fim %3")
        .arg(given(f.lossThreshold, 3, 1),
             given(f.reflectanceThreshold, 1, -1),
             given(f.endOfFiberThreshold, 3, 1));
}

QString fileErrorText(const QFileDevice &file, FileUse use)
{
    if (file.error() == QFileDevice::NoError)
        return QString();
    const QFileInfo info(file.fileName());
    const QFileInfo folder(info.absolutePath());
    if (info.isDir())
        return QStringLiteral("é uma pasta");
    if (!folder.isDir())
        return QStringLiteral("a pasta %1 não existe")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    if (use == FileUse::Read) {
        if (!info.exists())
            return QStringLiteral("arquivo não encontrado");
        if (!info.isReadable())
            return QStringLiteral("sem permissão de leitura");
        return QStringLiteral("não foi possível ler o arquivo");
    }
    if ((info.exists() && !info.isWritable()) || !folder.isWritable())
        return QStringLiteral("sem permissão para gravar");
    return QStringLiteral("não foi possível gravar (disco cheio?)");
}

QString unreadableReason(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile() && info.isReadable())
        return QString();
    return !info.exists() ? QStringLiteral("arquivo não encontrado")
           : info.isDir() ? QStringLiteral("é uma pasta")
                          : QStringLiteral("sem permissão de leitura");
}

QString measuredText(const std::optional<double> &value, int decimals)
{
    return value ? decimal(*value, decimals) : QStringLiteral("não medido");
}

QString optionalDecimal(const std::optional<double> &value, int decimals, const QString &none)
{
    return value ? decimal(*value, decimals) : none;
}

QString measuredHereText(const std::optional<double> &value, bool measuredHere, int decimals)
{
    return measuredText(value, decimals)
           + (value && measuredHere ? QStringLiteral(" (medido aqui)") : QString());
}

QString dateText(const QDateTime &date)
{
    return date.toString(QStringLiteral("dd/MM/yyyy HH:mm 'UTC'"));
}

QString kilometres(double metres)
{
    return decimal(metres / 1000.0, 4) + QStringLiteral(" km");
}

QString pulseText(const Trace &trace)
{
    QStringList pulses;
    if (trace.fixed) {
        for (int ns : trace.fixed->pulseWidthsNs)
            pulses << QStringLiteral("%1 ns").arg(ns);
    }
    return pulses.join(QStringLiteral(", "));
}

QString wavelengthNumber(double nm)
{
    // With the decimal comma, as every number the user reads: "1550", "1553,2".
    return decimal(nm, std::round(nm) == nm ? 0 : 1);
}

QString wavelengthText(double nm)
{
    return wavelengthNumber(nm) + QStringLiteral(" nm");
}

QString checksumText(const Checksum &checksum)
{
    switch (checksum.state) {
    case ChecksumState::Valid:
        return QStringLiteral("soma de verificação válida (%1)").arg(methodName(checksum.method));
    case ChecksumState::NotProvided:
        return checksum.stored ? QStringLiteral("soma de verificação não fornecida (gravada 0)")
                               : QStringLiteral("sem soma de verificação");
    case ChecksumState::CannotVerify:
        return QStringLiteral("soma de verificação não verificável: o método do fabricante não "
                              "é conhecido");
    case ChecksumState::Mismatch:
        return QStringLiteral("a soma de verificação não confere (gravada 0x%1)")
            .arg(checksum.stored.value_or(0), 4, 16, QLatin1Char('0'));
    }
    return QString();
}

namespace {

// A checksum's state in a table's brief words and in a report's plain ones.
struct ChecksumWords
{
    const char *brief; // "%1": the method that verified it
    const char *plain;
};

ChecksumWords checksumWords(ChecksumState state)
{
    switch (state) {
    case ChecksumState::Valid:
        return {"válida (%1)", "íntegro, soma conferida"};
    case ChecksumState::NotProvided:
        return {"não fornecida", "sem soma de verificação"};
    case ChecksumState::CannotVerify:
        return {"não verificável (método do fabricante desconhecido)",
                "soma não verificável para este fabricante"};
    case ChecksumState::Mismatch:
        return {"a soma de verificação não confere", "a soma de verificação não confere"};
    }
    return {"", ""};
}

} // namespace

QString checksumBrief(const Checksum &checksum)
{
    const QString words = QString::fromUtf8(checksumWords(checksum.state).brief);
    return checksum.state == ChecksumState::Valid ? words.arg(methodName(checksum.method)) : words;
}

QString checksumPlain(const Checksum &checksum)
{
    return QString::fromUtf8(checksumWords(checksum.state).plain);
}

QString damagedWord()
{
    return QStringLiteral("danificado");
}

QString damageText(const Trace &trace, DamageWording wording)
{
    const bool mismatch = trace.checksum.state == ChecksumState::Mismatch;
    if (wording == DamageWording::Download) {
        if (!trace.errors.isEmpty())
            return QStringLiteral("o traço está corrompido: %1").arg(trace.errors.first());
        return mismatch ? QStringLiteral("a soma de verificação do traço não confere") : QString();
    }
    QStringList reasons = trace.errors;
    if (mismatch) {
        reasons << (wording == DamageWording::Command ? checksumText(trace.checksum)
                                                      : checksumBrief(trace.checksum));
    }
    return reasons.join(QStringLiteral("; "));
}

QString eventKindText(EventKind kind)
{
    switch (kind) {
    case EventKind::NonReflective:
        return QStringLiteral("não reflexivo");
    case EventKind::Reflective:
        return QStringLiteral("reflexivo");
    case EventKind::Saturated:
        return QStringLiteral("saturado");
    case EventKind::End:
        return QStringLiteral("fim da fibra");
    }
    return QString();
}

QString eventType(const Event &event)
{
    if (event.mode() == QLatin1Char('E'))
        return eventKindText(EventKind::End);
    const QChar type = event.code.isEmpty() ? QChar() : event.code.at(0);
    if (type == QLatin1Char('0'))
        return eventKindText(EventKind::NonReflective);
    if (type == QLatin1Char('1'))
        return eventKindText(EventKind::Reflective);
    if (type == QLatin1Char('2'))
        return eventKindText(EventKind::Saturated);
    return event.code;
}

QString reflectanceText(const Event &event, int decimals)
{
    return event.reflectanceDb ? decimal(*event.reflectanceDb, decimals) : QString();
}

namespace {

void supplierRows(const Trace &t, QVector<SummaryRow> &rows)
{
    if (!t.supplier)
        return;
    rows.append({QStringLiteral("Fabricante"), t.supplier->supplier});
    rows.append({QStringLiteral("Modelo"), t.supplier->mainframe});
    rows.append({QStringLiteral("Número de série"), t.supplier->mainframeSerial});
}

QString spanStartText(const Offsets &o)
{
    if (!o.applied)
        return QStringLiteral("no primeiro ponto (deslocamentos não aplicados)");
    if (o.spanStartM == 0)
        return QStringLiteral("no primeiro ponto");
    return QStringLiteral("%1 m %2 do primeiro ponto; distâncias medidas a partir dele")
        .arg(decimal(std::abs(o.spanStartM), 1),
             o.spanStartM > 0 ? QStringLiteral("depois") : QStringLiteral("antes"));
}

QVector<SummaryRow> commandRows(const Trace &t, const QString &file)
{
    QVector<SummaryRow> rows{{QStringLiteral("Arquivo"), file},
                             {QStringLiteral("Versão"), QString::number(t.version)}};
    supplierRows(t, rows);
    if (t.wavelengthNm)
        rows.append({QStringLiteral("Comprimento de onda"), wavelengthText(*t.wavelengthNm)});
    if (t.fixed && !t.fixed->pulseWidthsNs.isEmpty())
        rows.append({QStringLiteral("Pulso"), pulseText(t)});
    if (t.rangeM)
        rows.append(
            {QStringLiteral("Alcance"), decimal(*t.rangeM / 1000.0, 3) + QStringLiteral(" km")});
    rows.append(
        {QStringLiteral("Pontos"),
         t.spacingM ? QStringLiteral("%1, a cada %2 m").arg(t.points()).arg(decimal(*t.spacingM, 3))
                    : QString::number(t.points())});
    if (t.groupIndex)
        rows.append({QStringLiteral("Índice de grupo"), decimal(*t.groupIndex, 5)});
    if (t.offsets) {
        const Offsets &o = *t.offsets;
        rows.append(
            {QStringLiteral("Deslocamentos"),
             QStringLiteral("painel frontal %1 m, aquisição %2 m, usuário %3 m")
                 .arg(decimal(o.frontPanelM, 1), decimal(o.acquisitionM, 1), decimal(o.userM, 1))});
        rows.append({QStringLiteral("Início do enlace"), spanStartText(o)});
    }
    if (t.date) {
        rows.append({QStringLiteral("Data"),
                     t.date->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"))});
    }
    if (t.general) {
        rows.append({QStringLiteral("Cabo"), t.general->cableId});
        rows.append({QStringLiteral("Fibra"), t.general->fiberId});
    }
    rows.append({QStringLiteral("Soma de verificação"), checksumText(t.checksum)});
    for (const QString &w : t.warnings)
        rows.append({QStringLiteral("Aviso"), w});
    for (const QString &e : t.errors)
        rows.append({QStringLiteral("Erro"), e});
    return rows;
}

QVector<SummaryRow> panelRows(const Trace &t, const QString &file)
{
    QVector<SummaryRow> rows{{QStringLiteral("Arquivo"), file}};
    supplierRows(t, rows);
    if (t.wavelengthNm)
        rows.append({QStringLiteral("Comprimento de onda"), wavelengthText(*t.wavelengthNm)});
    if (t.fixed) {
        rows.append({QStringLiteral("Pulso"), pulseText(t)});
        rows.append({QStringLiteral("Médias"), QString::number(t.fixed->averages)});
    }
    if (t.rangeM)
        rows.append({QStringLiteral("Alcance"), kilometres(*t.rangeM)});
    if (t.spacingM)
        rows.append({QStringLiteral("Resolução"), decimal(*t.spacingM, 3) + QStringLiteral(" m")});
    if (t.offsets && (t.offsets->spanStartM != 0 || !t.offsets->applied))
        rows.append({QStringLiteral("Início do enlace"), spanStartText(*t.offsets)});
    if (t.date) {
        rows.append({QStringLiteral("Data"), dateText(*t.date)});
    }
    if (t.general) {
        rows.append({QStringLiteral("Fibra"), t.general->fiberId});
        rows.append({QStringLiteral("Cabo"), t.general->cableId});
    }
    if (t.damaged()) {
        rows.append(
            {QStringLiteral("Soma de verificação"), damageText(t, DamageWording::Panel), true});
    } else {
        rows.append({QStringLiteral("Soma de verificação"), checksumBrief(t.checksum)});
    }
    for (const QString &w : t.warnings)
        rows.append({QStringLiteral("Aviso"), w});
    return rows;
}

} // namespace

QVector<SummaryRow> summaryRows(const Trace &trace, const QString &file, SummaryStyle style)
{
    return style == SummaryStyle::Command ? commandRows(trace, file) : panelRows(trace, file);
}

} // namespace Sor
