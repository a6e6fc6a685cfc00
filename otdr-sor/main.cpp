#include "sortool.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
    // Only a plot needs fonts, which come through a GUI platform; nothing is ever shown.
    std::unique_ptr<QCoreApplication> app;
    // Without a desktop session the GUI platform would note on standard error that it has no
    // runtime folder; a private one, gone at exit, keeps the output the tool's own.
    std::unique_ptr<QTemporaryDir> runtimeDir;
    if (argc > 1 && std::strcmp(argv[1], "plot") == 0) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
            runtimeDir = std::make_unique<QTemporaryDir>();
            if (runtimeDir->isValid())
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir->path()));
        }
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("otdr-sor"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runSorTool(QCoreApplication::arguments(), out, err);
}
