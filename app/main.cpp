#include "app/mainwindow.h"
#include "translation/qtportuguese.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtPortuguese::install(&app);
    int result = 0;
    {
        MainWindow window;
        window.setWindowIcon(QIcon(QStringLiteral("icone_lumo.ico")));
        window.show();
        result = app.exec();
    }
    return result;
}
