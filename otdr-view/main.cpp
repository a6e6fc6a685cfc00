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
    const QCommandLineOption cable(QStringLiteral("cable"),
                                   QStringLiteral("Abre a pasta de um cabo: a matriz de emendas."),
                                   QStringLiteral("PASTA"));
    const QCommandLineOption markers(
        QStringLiteral("pair-by-name"),
        QStringLiteral("Com --cable: as marcas das pontas nas ids, p. ex. ELMMIL,MILELM."),
        QStringLiteral("A,B"));
    parser.addOptions({cable, markers});
    parser.process(app);
    ViewerWindow window;
    window.show();
    if (!parser.positionalArguments().isEmpty())
        window.openFiles(parser.positionalArguments());
    if (parser.isSet(cable))
        window.openCableProject(parser.value(cable),
                                parser.value(markers).split(QLatin1Char(','), Qt::SkipEmptyParts));
    return app.exec();
}
