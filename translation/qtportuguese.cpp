#include "translation/qtportuguese.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace QtPortuguese {

QStringList searchFolders()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    const QString qtFolder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#else
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#endif
    return {QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
            qtFolder};
}

QStringList install(QCoreApplication *app)
{
    QStringList loaded;
    // qtbase holds the dialogs and the command-line parser; the serial port's error texts are
    // translated only where Qt ships a catalogue for them.
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    for (const char *catalogue : {"qtbase", "qtserialport"}) {
        for (const QString &folder : searchFolders()) {
            auto *translator = new QTranslator(app);
            if (translator->load(brazil, QLatin1String(catalogue), QStringLiteral("_"), folder)
                && app->installTranslator(translator)) {
                loaded.append(translator->filePath());
                break;
            }
            delete translator;
        }
    }
    return loaded;
}

} // namespace QtPortuguese
