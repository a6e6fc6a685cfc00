#include "archive/entry.h"

#include "acceptance/twoway.h"
#include "acceptance/verdict.h"
#include "sor/sorreader.h"

#include <QCryptographicHash>

namespace Archive {

namespace {

// Why a trace is damaged: it is no trace, it says what is wrong, or its checksum fails.
QString problemOf(const Sor::Trace &t)
{
    if (t.version == 0)
        return t.errors.isEmpty() ? QStringLiteral("não é um traço SOR") : t.errors.first();
    if (!t.errors.isEmpty())
        return t.errors.first();
    if (t.checksum.state == Sor::ChecksumState::Mismatch)
        return QStringLiteral("a soma de verificação não confere");
    return QString();
}

// The labels of its header, trimmed: what finds and histories match.
void readLabels(const Sor::Trace &t, Record &r)
{
    const auto text = [](const QString &s) { return s.trimmed(); };
    r.cable = t.general ? text(t.general->cableId) : QString();
    r.fiber = t.general ? text(t.general->fiberId) : QString();
    r.locationA = t.general ? text(t.general->locationA) : QString();
    r.locationB = t.general ? text(t.general->locationB) : QString();
    r.condition = t.general ? text(t.general->buildCondition) : QString();
    r.maker = t.supplier ? text(t.supplier->supplier) : QString();
    r.model = t.supplier ? text(t.supplier->mainframe) : QString();
    r.serial = t.supplier ? text(t.supplier->mainframeSerial) : QString();
}

// The words a text search looks in: the labels, the maker, the operator and the comment.
QString searchText(const Sor::Trace &t, const Record &r)
{
    return QStringList{r.cable,
                       r.fiber,
                       r.locationA,
                       r.locationB,
                       r.maker,
                       r.model,
                       r.serial,
                       t.general ? t.general->operatorName : QString(),
                       t.general ? t.general->comment : QString()}
        .join(QLatin1Char(' '))
        .toLower();
}

} // namespace

Entry entryOf(const QByteArray &bytes, const std::optional<Acceptance::Limits> &limits)
{
    Entry e;
    Record &r = e.record;
    r.hash
        = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    r.size = bytes.size();
    // The points too: the verdict measures a marker that stores no loss on them, and takes the
    // analysis' events where the file stores none, as check does.
    Sor::Trace t = Sor::read(bytes);
    r.events = t.keyEvents ? int(t.keyEvents->events.size()) : 0;
    r.damaged = t.damaged() || t.version == 0;
    r.problem = problemOf(t);
    const Acceptance::Link link
        = r.damaged && t.version == 0 ? Acceptance::Link() : Acceptance::eventsLink(t);
    if (limits && t.version != 0)
        r.verdict = Acceptance::verdictWord(Acceptance::judge(link, *limits).verdict);
    readLabels(t, r);
    r.date = t.date;
    r.wavelengthNm = t.wavelengthNm;
    r.bandNm = t.wavelengthNm ? Sor::bandOf(*t.wavelengthNm) : 0;
    r.pulseNs = Sor::firstPulseNs(t);
    r.rangeM = t.rangeM;
    r.lengthM = link.lengthM;
    r.totalLossDb = link.totalLossDb;
    r.orlDb = link.orlDb;
    r.checksum = Sor::stateName(t.checksum.state);
    e.search = searchText(t, r);
    return e;
}

bool beginsLikeSor(const QByteArray &bytes)
{
    const QByteArray map("Map\0", 4);
    if (bytes.startsWith(map) || map.startsWith(bytes))
        return true;
    if (bytes.size() < 2)
        return false;
    const int revision = quint8(bytes.at(0)) | quint8(bytes.at(1)) << 8;
    return revision >= 100 && revision <= 199;
}

} // namespace Archive
