#include "sortool.h"

#include <QGuiApplication>
#include <QTextStream>

#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
    // Only a plot needs fonts, which come through a GUI platform; nothing is ever shown.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "plot") == 0) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("otdr-sor"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runSorTool(QCoreApplication::arguments(), out, err);
}
