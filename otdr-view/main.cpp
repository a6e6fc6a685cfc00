#include "singleinstance/singleinstance.h"
#include "translation/qtportuguese.h"
#include "version/version.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtPortuguese::install(&app);
    QApplication::setApplicationName(QStringLiteral("otdr-view"));
    Version::setApplicationVersion();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Mostra traços OTDR (.sor) sobrepostos."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("ARQUIVO"),
                                 QStringLiteral("Traços a abrir."),
                                 QStringLiteral("[ARQUIVO...]"));
    const QCommandLineOption cable(QStringLiteral("cable"),
                                   QStringLiteral("Abre a pasta de um cabo: a matriz de emendas."),
                                   QStringLiteral("PASTA"));
    const QCommandLineOption markers(
        QStringLiteral("pair-by-name"),
        QStringLiteral("Com --cable: as marcas das pontas nos nomes dos arquivos, p. ex. je,jo."),
        QStringLiteral("A,B"));
    parser.addOptions({cable, markers});
    parser.process(app);
    // A file manager starts one viewer per selected trace: they all open in the first.
    const QStringList files = parser.positionalArguments();
    SingleInstance instance(QStringLiteral("otdr-view"));
    if (instance.start(parser.isSet(cable) ? QStringList() : files) == SingleInstance::HandedOver)
        return 0;
    ViewerWindow window;
    window.show();
    QObject::connect(
        &instance, &SingleInstance::filesReceived, &window, [&window](const QStringList &received) {
            window.openFiles(received);
            if (window.isMinimized())
                window.showNormal();
            window.raise();
            window.activateWindow();
        });
    if (!files.isEmpty())
        window.openFiles(files);
    if (parser.isSet(cable))
        window.openCableProject(parser.value(cable),
                                parser.value(markers).split(QLatin1Char(','), Qt::SkipEmptyParts));
    return app.exec();
}
