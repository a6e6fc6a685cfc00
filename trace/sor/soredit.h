#pragma once

#include "sor/sorlayout.h"
#include "sor/sortrace.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Writes a read trace file back with some of its identification changed and nothing else:
// every other block keeps its bytes, the map its order, the file its trailing bytes; the
// checksum is made again by the method that verified the original.
namespace Sor {

// The identification fields a user may change; an absent one is left as it is.
struct Edits
{
    std::optional<QString> cableId;
    std::optional<QString> fiberId;
    std::optional<QString> locationA;
    std::optional<QString> locationB;
    std::optional<QString> operatorName;
    std::optional<QString> comment;

    bool isEmpty() const;
};

// Each field an edit may change: its key (otdr-sor's option name), the word messages use, and
// where it stands in the edits, in the read trace and in the block's bytes. In the order users
// see them.
struct EditableField
{
    const char *key;  // "cable", "fiber", "location-a", "location-b", "operator", "comment"
    const char *word; // "cabo", "fibra", "local A", "local B", "operador", "comentário"
    std::optional<QString> Edits::*edit;
    QString GeneralParameters::*current;
    QByteArray Layout::General::*raw;
};
const QVector<EditableField> &editableFields();

struct Rewritten
{
    QByteArray bytes;     // the new file; empty when it cannot be written
    QString error;        // why it cannot, in Portuguese
    QStringList warnings; // what the user should know about the file written
    bool changed = false; // false: the bytes are the original's
    bool ok() const { return error.isEmpty(); }
};

// The original file with the edits made. A file the reader calls damaged is refused unless
// forced; a file whose identification block cannot be found is refused always. The result is
// read back before it is returned: it holds the new values and its checksum verifies.
Rewritten rewrite(const QByteArray &original, const Edits &edits, bool force = false);
// The same, for a caller that has read the original already (Sor::read of those bytes).
Rewritten
rewrite(const QByteArray &original, const Trace &read, const Edits &edits, bool force = false);

// Where a file edited in place keeps its original: "FILE.orig".
QString backupPath(const QString &path);

} // namespace Sor
