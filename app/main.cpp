#include "app/mainwindow.h"
#include "translation/qtportuguese.h"
#include "version/version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtPortuguese::install(&app);
    QApplication::setApplicationName(QStringLiteral("otdr"));
    Version::setApplicationVersion();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lista, baixa e apaga os traços do OTDR pelo cabo USB."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);
    int result = 0;
    {
        MainWindow window;
        window.setWindowIcon(QIcon(QStringLiteral("icone_lumo.ico")));
        window.show();
        result = app.exec();
    }
    return result;
}
