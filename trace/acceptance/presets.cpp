#include "acceptance/limits.h"

#include <QVector>

// The built-in sets of limits, each from a published standard (the sources are beside the
// figures), and the set that checks nothing.
namespace Acceptance {

namespace {

// A generic single-mode link: 0.3 dB a fusion splice and 0.75 dB a mated connector pair are the
// maxima of ANSI/TIA-568.3-D; -35 dB is its single-mode connector reflectance; 0.4 dB/km at
// 1310 nm and 1625 nm and 0.3 dB/km at 1550 nm are the cabled single-mode fibre maxima of ITU-T
// G.652.D.
Limits genericSingleMode()
{
    Limits l;
    l.name = QStringLiteral("monomodo-generico");
    l.spliceLossMaxDb = 0.3;
    l.connectorLossMaxDb = 0.75;
    l.reflectanceMaxDb = -35;
    l.attenuationMaxDbKm = {{1310, 0.4}, {1550, 0.3}, {1625, 0.4}};
    return l;
}

// ANSI/TIA-568.3-D's own figures: a splice 0.3 dB, a mated connector pair 0.75 dB, single-mode
// outside plant cable 0.5 dB/km at 1310 and 1550 nm, and a single-mode connector's return loss
// of at least 35 dB (UPC polish) or 55 dB (APC, angled), that is a reflectance of at most -35 or
// -55 dB.
Limits tia568(bool angled)
{
    Limits l;
    l.name = angled ? QStringLiteral("tia-568.3-d-apc") : QStringLiteral("tia-568.3-d-upc");
    l.spliceLossMaxDb = 0.3;
    l.connectorLossMaxDb = 0.75;
    l.reflectanceMaxDb = angled ? -55 : -35;
    l.attenuationMaxDbKm = {{1310, 0.5}, {1550, 0.5}};
    return l;
}

// A GPON link's optical budget, ITU-T G.984.2: class B+ allows 28 dB from the OLT to the ONU,
// class C+ 32 dB. Its splitters' most loss (1:2 4.0 dB to 1:64 21.0 dB) is the ideal share
// 10·log10(N) plus the most excess loss of a planar splitter that those budgets count.
Limits gpon(bool cPlus)
{
    Limits l;
    l.name = cPlus ? QStringLiteral("gpon-classe-c+") : QStringLiteral("gpon-classe-b+");
    l.totalLossMaxDb = cPlus ? 32 : 28;
    l.splitterLossMaxDb = {{2, 4.0}, {4, 7.4}, {8, 10.7}, {16, 13.9}, {32, 17.2}, {64, 21.0}};
    return l;
}

// Nothing is checked: every trace is "SEM LIMITES".
Limits noLimits()
{
    Limits l;
    l.name = QStringLiteral("sem limites");
    return l;
}

// Each set once, in the order the program offers them: its limits (named as a user picks the
// set) and its name for people.
struct Preset
{
    Limits limits;
    QString title;
};

const QVector<Preset> &presets()
{
    static const QVector<Preset> all{
        {genericSingleMode(), QStringLiteral("Monomodo genérico (TIA-568.3-D, ITU-T G.652.D)")},
        {tia568(false), QStringLiteral("TIA-568.3-D, conectores UPC")},
        {tia568(true), QStringLiteral("TIA-568.3-D, conectores APC")},
        {gpon(false), QStringLiteral("GPON classe B+ (ITU-T G.984.2, 28 dB)")},
        {gpon(true), QStringLiteral("GPON classe C+ (ITU-T G.984.2, 32 dB)")},
        {noLimits(), QStringLiteral("Sem limites")},
    };
    return all;
}

const Preset *presetNamed(const QString &name)
{
    for (const Preset &p : presets()) {
        if (p.limits.name == name)
            return &p;
    }
    return nullptr;
}

} // namespace

QStringList presetNames()
{
    QStringList names;
    for (const Preset &p : presets())
        names << p.limits.name;
    return names;
}

QString presetTitle(const QString &name)
{
    const Preset *p = presetNamed(name);
    return p ? p->title : name;
}

std::optional<Limits> preset(const QString &name)
{
    const Preset *p = presetNamed(name);
    return p ? std::optional<Limits>(p->limits) : std::nullopt;
}

} // namespace Acceptance
