#pragma once

#include "sor/sortrace.h"

#include <QFileDevice>
#include <QString>
#include <QVector>

// The words a user reads about a trace, in Portuguese: numbers with a decimal comma, the
// checksum's state, why a trace is damaged, an event's type and the rows of a summary. A
// program chooses what to show, never how to say it.
namespace Sor {

// "1,250"; "sem dados" for a level that has none (NaN).
QString decimal(double value, int decimals);
// A change, its sign always shown: "+0,125", "-0,040".
QString signedDecimal(double value, int decimals);
// A value that may not have been measured: "0,125", or "não medido".
QString measuredText(const std::optional<double> &value, int decimals);
// A value that may not be given: its decimals, or the text given for none (empty by default).
QString optionalDecimal(const std::optional<double> &value,
                        int decimals = 3,
                        const QString &none = QString());
// A value the tools measured on the points where the file stores none: "0,123 (medido aqui)".
QString measuredHereText(const std::optional<double> &value, bool measuredHere, int decimals);
// A distance in kilometres to a tenth of a metre: "12,3456 km".
QString kilometres(double metres);
// "20/11/2026 09:00 UTC"
QString dateText(const QDateTime &date);
// "100 ns, 1000 ns"; empty when the file gives none.
QString pulseText(const Trace &trace);
// "1550 nm", "1553,2 nm"; without the unit, for a column that names it.
QString wavelengthText(double nm);
QString wavelengthNumber(double nm);

// The analysis thresholds a file stores, in their units: "perda 0,100 dB, refletância -64,9 dB,
// fim 3,000 dB", "não definido" for one it leaves unset (0 or 65535).
QString thresholdsText(const FixedParameters &fixed);

// The checksum as a sentence (otdr-sor), or briefly, for a panel that says "damaged" apart.
QString checksumText(const Checksum &checksum);
QString checksumBrief(const Checksum &checksum);
// The same for a client, without the method: "íntegro, soma conferida", "sem soma de
// verificação", "soma não verificável para este fabricante".
QString checksumPlain(const Checksum &checksum);

// Why a file could not be opened, read or written, in the user's words (Qt's own reasons are in
// English): "arquivo não encontrado", "é uma pasta", "sem permissão", …
enum class FileUse { Read, Write };
QString fileErrorText(const QFileDevice &file, FileUse use);
// Why a path is no file that can be read ("arquivo não encontrado", "é uma pasta", "sem
// permissão de leitura"); empty when it is one.
QString unreadableReason(const QString &path);

// "danificado", the word that marks a damaged trace wherever it is shown.
QString damagedWord();
// Why a trace is damaged, empty when it is not: every reason on one line, the checksum's
// stored value included (otdr-sor), without it (a panel), or the first reason as the download
// check reports it.
enum class DamageWording { Command, Panel, Download };
QString damageText(const Trace &trace, DamageWording wording);

// "não reflexivo", "reflexivo", "saturado", "fim da fibra"; of a file's event, or the code as
// stored where it names none of them.
enum class EventKind { NonReflective, Reflective, Saturated, End };
QString eventKindText(EventKind kind);
QString eventType(const Event &event);
// The reflectance as stored, or an empty cell where the file gives none.
QString reflectanceText(const Event &event, int decimals);

// Label and value of each line of a trace's summary; damaged marks the checksum's line of a
// damaged trace, whose value is then the reasons.
struct SummaryRow
{
    QString label;
    QString value;
    bool damaged = false;
};
// otdr-sor info's lines, or the viewer's information panel's.
enum class SummaryStyle { Command, Panel };
QVector<SummaryRow> summaryRows(const Trace &trace, const QString &file, SummaryStyle style);

} // namespace Sor
