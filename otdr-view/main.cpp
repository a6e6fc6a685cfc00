#include "translation/qtportuguese.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtPortuguese::install(&app);
    QApplication::setApplicationName(QStringLiteral("otdr-view"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Mostra traços OTDR (.sor) sobrepostos."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("ARQUIVO"),
                                 QStringLiteral("Traços a abrir."),
                                 QStringLiteral("[ARQUIVO...]"));
    parser.process(app);
    ViewerWindow window;
    window.show();
    if (!parser.positionalArguments().isEmpty())
        window.openFiles(parser.positionalArguments());
    return app.exec();
}
