#include "version/version.h"

#include <QCoreApplication>

namespace Version {

QString number()
{
    return QStringLiteral(OTDR_VERSION);
}

QString label()
{
    return QStringLiteral("otdr %1").arg(number());
}

QString programLine(const QString &program)
{
    return program == QLatin1String("otdr") ? label()
                                            : QStringLiteral("%1 (%2)").arg(program, label());
}

void setApplicationVersion()
{
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationVersion(programLine(name).mid(name.size() + 1));
}

QString about(const QString &program, const QString &purpose)
{
    return QStringLiteral("<p><b>%1</b><br>%2</p><p>%3</p><p>Qt %4</p>")
        .arg(program.toHtmlEscaped(),
             label().toHtmlEscaped(),
             purpose.toHtmlEscaped(),
             QString::fromLatin1(qVersion()));
}

} // namespace Version
