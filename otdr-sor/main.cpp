#include "sortool.h"
#include "translation/qtportuguese.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstring>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#endif

namespace {
// The tool writes UTF-8 everywhere: a Windows console is told so, so that accents show.
void useUtf8(QTextStream &stream)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    stream.setCodec("UTF-8");
#else
    Q_UNUSED(stream);
#endif
}
} // namespace

int main(int argc, char *argv[])
{
    // Only a plot or a report needs fonts, which come through a GUI platform; nothing is shown.
    std::unique_ptr<QCoreApplication> app;
    // Without a desktop session the GUI platform would note on standard error that it has no
    // runtime folder; a private one, gone at exit, keeps the output the tool's own.
    std::unique_ptr<QTemporaryDir> runtimeDir;
    bool drawing
        = argc > 1 && (std::strcmp(argv[1], "plot") == 0 || std::strcmp(argv[1], "report") == 0);
    // A cable's job and a comparison draw only for their PDF, a link only for its map.
    const bool drawsWithOutput
        = argc > 1
          && (std::strcmp(argv[1], "cable") == 0 || std::strcmp(argv[1], "link") == 0
              || std::strcmp(argv[1], "compare") == 0);
    for (int i = 2; drawsWithOutput && i < argc; ++i)
        drawing = drawing || std::strcmp(argv[i], "-o") == 0
                  || std::strncmp(argv[i], "--output", 8) == 0;
    if (drawing) {
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
    QtPortuguese::install(app.get());
#ifdef Q_OS_WIN
    SetConsoleOutputCP(CP_UTF8);
#else
    // Past a file size limit a write then fails as on a full disk, with a message, instead of
    // ending the program half way through a batch.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QTextStream out(stdout);
    QTextStream err(stderr);
    useUtf8(out);
    useUtf8(err);
    return runSorTool(QCoreApplication::arguments(), out, err);
}
