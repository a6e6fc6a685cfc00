#include "files/downloadcheck.h"

#include "sor/sorreader.h"
#include "sor/sortext.h"

#include <QLocale>

namespace {
// The listing's size field holds the low 16 bits of the length.
constexpr int ListedSizeModulus = 65536;
} // namespace

QString downloadDamage(const QByteArray &bytes, int listedSize)
{
    const QLocale portuguese(QLocale::Portuguese, QLocale::Brazil);
    if (bytes.size() % ListedSizeModulus != listedSize % ListedSizeModulus) {
        return QStringLiteral("recebidos %1 bytes, mas o equipamento listou %2")
            .arg(portuguese.toString(bytes.size()), portuguese.toString(listedSize));
    }
    if (!Sor::looksLikeTrace(bytes))
        return QString();
    return Sor::damageText(Sor::read(bytes, Sor::Detail::Check), Sor::DamageWording::Download);
}
