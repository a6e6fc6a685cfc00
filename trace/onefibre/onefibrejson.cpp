#include "onefibre/onefibrejson.h"

#include "sor/sorjson.h"

#include <QJsonArray>

namespace OneFibre {

namespace {

QString seenName(Seen seen)
{
    switch (seen) {
    case Seen::Found:
        return QStringLiteral("found");
    case Seen::Missed:
        return QStringLiteral("missed");
    case Seen::Unresolved:
        return QStringLiteral("unresolved");
    }
    return QString();
}

} // namespace

QJsonObject toJson(const Agreement &a, const std::vector<Shot> &shots)
{
    QJsonArray ends;
    for (size_t k = 0; k < shots.size(); ++k)
        ends.append(QJsonObject{{QStringLiteral("file"), shots[k].name},
                                {QStringLiteral("fiber_end_m"), Sor::jsonNumber(a.endsM.at(k))}});
    QJsonArray events;
    for (const Feature &f : a.features) {
        QJsonArray seen;
        for (size_t k = 0; k < shots.size(); ++k) {
            const Sighting &s = f.shots.at(k);
            seen.append(QJsonObject{{QStringLiteral("file"), shots[k].name},
                                    {QStringLiteral("seen"), seenName(s.seen)},
                                    {QStringLiteral("distance_m"), Sor::jsonNumber(s.distanceM)},
                                    {QStringLiteral("loss_db"), Sor::jsonNumber(s.lossDb)},
                                    {QStringLiteral("why"), Sor::jsonText(s.why)}});
        }
        events.append(QJsonObject{{QStringLiteral("distance_m"), f.distanceM},
                                  {QStringLiteral("reflective"), f.reflective},
                                  {QStringLiteral("largest_loss_db"), f.largestLossDb},
                                  {QStringLiteral("agrees"), f.agrees},
                                  {QStringLiteral("shots"), seen}});
    }
    return QJsonObject{
        {QStringLiteral("one_story"), a.oneStory()},
        {QStringLiteral("tolerance_m"), a.toleranceM},
        {QStringLiteral("ends"), ends},
        {QStringLiteral("ends_agree"), a.endsAgree},
        {QStringLiteral("end_spread_m"), a.endSpreadM},
        {QStringLiteral("events"), events},
        {QStringLiteral("disagreements"), QJsonArray::fromStringList(a.disagreements)}};
}

} // namespace OneFibre
