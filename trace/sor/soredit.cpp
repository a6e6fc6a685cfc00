#include "sor/soredit.h"

#include "sor/checksum.h"
#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QSaveFile>

namespace Sor {

namespace {

// The file cut into the blocks its map names, and what follows them.
bool split(const QByteArray &file,
           const Trace &t,
           QList<Layout::RawBlock> &blocks,
           QByteArray &trailing)
{
    if (t.blocks.isEmpty())
        return false;
    qint64 end = 0;
    for (int i = 0; i < t.blocks.size(); ++i) {
        const BlockInfo &b = t.blocks.at(i);
        end = b.offset + b.size;
        if (end > file.size())
            return false;
        if (i > 0)
            blocks.append(
                {b.name.toLatin1(), quint16(b.revision), file.mid(int(b.offset), int(b.size))});
    }
    trailing = file.mid(int(end));
    return true;
}

// The maker whose method a new checksum follows when the old one cannot show it.
ChecksumMethod usualMethod(const Trace &t)
{
    const ChecksumMethod maker = makerMethod(t.supplier ? t.supplier->supplier : QString());
    return maker != ChecksumMethod::None ? maker : ChecksumMethod::CcittFalseBefore;
}

// Where the checksum's two bytes lie in an assembled file; -1 when it has none.
qint64 checksumOffset(const QList<Layout::RawBlock> &blocks, qint64 mapSize, int version)
{
    qint64 at = mapSize;
    const int skip = version == 2 ? 6 : 0;
    for (const Layout::RawBlock &b : blocks) {
        if (b.name == "Cksum")
            return b.bytes.size() >= skip + 2 ? at + skip : -1;
        at += b.bytes.size();
    }
    return -1;
}

// The edits made in the GenParams block; false, with the error, when they cannot be.
bool editGeneral(const Trace &t, const Edits &edits, QList<Layout::RawBlock> &blocks, Rewritten &r)
{
    const int v = t.version;
    int general = -1;
    for (int i = 0; i < blocks.size(); ++i) {
        if (blocks.at(i).name == "GenParams")
            general = i;
    }
    const QByteArray prefix = v == 2 ? QByteArray("GenParams", 10) : QByteArray();
    std::optional<Layout::General> raw;
    if (general >= 0 && t.general && blocks.at(general).bytes.startsWith(prefix))
        raw = Layout::parseGeneral(blocks.at(general).bytes.mid(prefix.size()), v);
    if (!raw) {
        r.error = QStringLiteral("a identificação do traço (bloco GenParams) não pode ser lida");
        return false;
    }
    for (const EditableField &f : editableFields()) {
        const std::optional<QString> &wanted = edits.*f.edit;
        // A value the field already holds keeps its bytes, whatever their encoding.
        if (!wanted || *wanted == (*t.general).*f.current)
            continue;
        if (wanted->contains(QChar(0))) {
            r.error = QStringLiteral("o valor de %1 contém um caractere nulo")
                          .arg(QString::fromUtf8(f.word));
            return false;
        }
        (*raw).*f.raw = wanted->toUtf8();
        r.changed = true;
    }
    if (r.changed)
        blocks[general].bytes = prefix + Layout::generalBody(*raw, v);
    return true;
}

} // namespace

const QVector<EditableField> &editableFields()
{
    using G = GeneralParameters;
    using L = Layout::General;
    static const QVector<EditableField> fields{
        {"cable", "cabo", &Edits::cableId, &G::cableId, &L::cableId},
        {"fiber", "fibra", &Edits::fiberId, &G::fiberId, &L::fiberId},
        {"location-a", "local A", &Edits::locationA, &G::locationA, &L::locationA},
        {"location-b", "local B", &Edits::locationB, &G::locationB, &L::locationB},
        {"operator", "operador", &Edits::operatorName, &G::operatorName, &L::operatorName},
        {"comment", "comentário", &Edits::comment, &G::comment, &L::comment},
    };
    return fields;
}

bool Edits::isEmpty() const
{
    return !cableId && !fiberId && !locationA && !locationB && !operatorName && !comment;
}

Rewritten rewrite(const QByteArray &original, const Edits &edits, bool force)
{
    return rewrite(original, read(original, Detail::Check), edits, force);
}

namespace {

// The checksum made again by the method that verified the original, or, where it could not be
// verified, by the maker's usual one (with a warning); a file without one gets none.
void storeNewChecksum(QByteArray &file, qint64 valueAt, const Trace &t, Rewritten &r)
{
    if (valueAt < 0) {
        r.warnings << QStringLiteral("o arquivo não tem soma de verificação");
        return;
    }
    if (t.checksum.state == ChecksumState::NotProvided)
        return;
    const ChecksumMethod method
        = t.checksum.state == ChecksumState::Valid ? t.checksum.method : usualMethod(t);
    if (t.checksum.state == ChecksumState::CannotVerify) {
        r.warnings << QStringLiteral("a soma de verificação original não pôde ser "
                                     "verificada; a nova segue o método %1")
                          .arg(methodName(method));
    }
    Layout::storeChecksum(file, valueAt, checksumOf(file, valueAt, method));
}

// What is written must read back as asked: whole, its checksum valid (or absent as before), each
// edited field holding its new value.
bool readsAsAsked(const QByteArray &file, const Trace &t, const Edits &edits, qint64 valueAt)
{
    const Trace back = read(file, Detail::Check);
    bool asked = back.errors.isEmpty() && back.general.has_value()
                 && (back.checksum.state == ChecksumState::Valid
                     || (back.checksum.state == t.checksum.state
                         && t.checksum.state == ChecksumState::NotProvided)
                     || valueAt < 0);
    for (const EditableField &f : editableFields()) {
        if (asked && edits.*f.edit)
            asked = (*back.general).*f.current == *(edits.*f.edit);
    }
    return asked;
}

} // namespace

Rewritten rewrite(const QByteArray &original, const Trace &t, const Edits &edits, bool force)
{
    Rewritten r;
    if (t.damaged() && !force) {
        r.error = QStringLiteral("o arquivo está danificado: %1")
                      .arg(damageText(t, DamageWording::Command));
        return r;
    }
    QList<Layout::RawBlock> blocks;
    QByteArray trailing;
    const int v = t.version;
    if (!split(original, t, blocks, trailing)) {
        r.error = QStringLiteral("os blocos do arquivo não podem ser separados: %1")
                      .arg(t.errors.value(0));
        return r;
    }
    if (!edits.isEmpty() && !editGeneral(t, edits, blocks, r))
        return r;
    QByteArray file = Layout::assemble(blocks, v, trailing, t.blocks.first().revision);
    if (!r.changed) {
        // Nothing asked of the file: every byte comes back as it was read.
        if (file != original)
            r.error = QStringLiteral("o arquivo não pôde ser reescrito igual ao original");
        else
            r.bytes = file;
        return r;
    }
    if (t.damaged()) {
        r.warnings << QStringLiteral("o original estava danificado: %1")
                          .arg(damageText(t, DamageWording::Command));
    }
    const qint64 valueAt = checksumOffset(blocks, t.blocks.first().size, v);
    storeNewChecksum(file, valueAt, t, r);
    if (!readsAsAsked(file, t, edits, valueAt)) {
        r.error = QStringLiteral("o arquivo editado não se lê como pedido");
        return r;
    }
    r.bytes = file;
    return r;
}

QString backupPath(const QString &path)
{
    return path + QStringLiteral(".orig");
}

} // namespace Sor
