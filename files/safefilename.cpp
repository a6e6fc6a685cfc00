#include "files/safefilename.h"

#include <QRegularExpression>

namespace {

const QString Fallback = QStringLiteral("arquivo.sor");
// Most file systems take 255 bytes; leave room for " (n)" and a temporary suffix.
constexpr int MaxNameBytes = 200;

bool isForbidden(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("/\\<>:\"|?*").contains(c);
}

bool isDeviceName(const QString &name)
{
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])$"),
                                           QRegularExpression::CaseInsensitiveOption);
    QString base = name.section(QLatin1Char('.'), 0, 0);
    while (base.endsWith(QLatin1Char(' ')))
        base.chop(1);
    return device.match(base).hasMatch();
}

void splitExtension(const QString &name, QString &stem, QString &extension)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && name.size() - dot <= 16) {
        stem = name.left(dot);
        extension = name.mid(dot);
    } else {
        stem = name;
        extension.clear();
    }
}

} // namespace

QString safeFileName(const QString &name)
{
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name)
        safe.append(isForbidden(c) ? QLatin1Char('_') : c);

    QString stem, extension;
    splitExtension(safe, stem, extension);
    while (!stem.isEmpty() && (stem + extension).toUtf8().size() > MaxNameBytes) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.at(stem.size() - 1).isHighSurrogate())
            stem.chop(1);
    }
    safe = stem + extension;
    if (safe.toUtf8().size() > MaxNameBytes)
        safe.clear();

    // Windows drops trailing dots and spaces, which would turn ".." into a directory.
    while (safe.endsWith(QLatin1Char('.')) || safe.endsWith(QLatin1Char(' ')))
        safe.chop(1);
    if (safe.isEmpty())
        return Fallback;
    if (isDeviceName(safe))
        safe.prepend(QLatin1Char('_'));
    return safe;
}

QString uniqueFileName(const QString &name, QSet<QString> &taken)
{
    QString candidate = name;
    if (taken.contains(candidate.toLower())) {
        QString stem, extension;
        splitExtension(name, stem, extension);
        for (int n = 2; taken.contains(candidate.toLower()); ++n)
            candidate = QStringLiteral("%1 (%2)%3").arg(stem, QString::number(n), extension);
    }
    taken.insert(candidate.toLower());
    return candidate;
}
