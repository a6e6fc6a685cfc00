// otdr-sim: a simulated instrument on a fake USB serial port, and a program started where it
// can find it (by default the otdr beside this executable).

#include "mockserialdevice.h"
#include "simulatedinstrument.h"
#include "translation/qtportuguese.h"
#include "version/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString requestText(const QByteArray &request)
{
    return QString::fromLatin1(request.toHex(' ').toUpper());
}

bool copyFolder(const QString &from, const QString &to)
{
    const QFileInfoList files = QDir(from).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        if (!QFile::copy(file.absoluteFilePath(), QDir(to).filePath(file.fileName())))
            return false;
    }
    return !files.isEmpty();
}

// Values in seconds, as many as given ("--unplug-at 5 --unplug-at 20" or "5,20").
bool seconds(const QStringList &values, QList<int> &out)
{
    for (const QString &value : values) {
        for (const QString &part : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const double s = part.toDouble(&ok);
            if (!ok || s < 0)
                return false;
            out.append(int(s * 1000));
        }
    }
    return true;
}

// A pseudo-terminal with nothing behind it but the instrument, raw, as a serial line is: for
// a program that finds its port by name (Wine maps a COM port to a device path). Returns the
// master end, non-blocking and not inherited, or -1.
int openBarePty(QString &slavePath)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128];
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0
        || ptsname_r(master, name, sizeof name) != 0) {
        if (master >= 0)
            close(master);
        return -1;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (slave >= 0 && tcgetattr(slave, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
    }
    if (slave >= 0)
        close(slave);
    slavePath = QString::fromLocal8Bit(name);
    return master;
}

// The program started here ends with the simulator, however the simulator ends.
class ChildProcess : public QProcess
{
public:
    ChildProcess()
    {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    }

protected:
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    void setupChildProcess() override
    {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
    }
#endif
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QtPortuguese::install(&app);
    QCoreApplication::setApplicationName(QStringLiteral("otdr-sim"));
    Version::setApplicationVersion();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Faz o papel do equipamento numa porta serial USB simulada (fabricante 1fc9) "
        "e inicia PROGRAMA, que a encontra.\nSem --folder serve uma cópia "
        "temporária dos traços de exemplo: nada seu é apagado."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("PROGRAMA"),
                                 QStringLiteral("Programa e argumentos (padrão: otdr)."),
                                 QStringLiteral("[-- PROGRAMA [ARGUMENTOS...]]"));
    const QCommandLineOption folder(
        QStringLiteral("folder"),
        QStringLiteral("Serve os arquivos de PASTA; as exclusões os apagam."),
        QStringLiteral("PASTA"));
    const QCommandLineOption chunk(QStringLiteral("chunk"),
                                   QStringLiteral("Bytes de dados de arquivo por resposta (64)."),
                                   QStringLiteral("N"),
                                   QStringLiteral("64"));
    const QCommandLineOption pause(QStringLiteral("pause"),
                                   QStringLiteral("Pausa antes de cada resposta, em ms (0)."),
                                   QStringLiteral("MS"),
                                   QStringLiteral("0"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Taxa da linha a imitar, 8N1, p. ex. 1200 (0: tão "
                                                 "rápido quanto o terminal aceita)."),
                                  QStringLiteral("BITS"),
                                  QStringLiteral("0"));
    const QCommandLineOption stopAfter(
        QStringLiteral("stop-after"),
        QStringLiteral("Falha: não responde a nenhum pedido depois dos N primeiros."),
        QStringLiteral("N"));
    const QCommandLineOption dropAfter(
        QStringLiteral("drop-after"),
        QStringLiteral("Falha: puxa o cabo depois de BYTES de dados de arquivo."),
        QStringLiteral("BYTES"));
    const QCommandLineOption silence(
        QStringLiteral("silence-after"),
        QStringLiteral("Falha: cala-se depois de escrever N respostas."),
        QStringLiteral("N"));
    const QCommandLineOption merge(
        QStringLiteral("merge-records"),
        QStringLiteral("Falha: envia os dois primeiros registros da lista "
                       "numa só escrita."));
    const QCommandLineOption split(
        QStringLiteral("split-replies"),
        QStringLiteral("Falha: escreve cada resposta poucos bytes por vez, como uma linha serial "
                       "comum (a porta USB do equipamento entrega cada resposta inteira)."));
    const QCommandLineOption glue(
        QStringLiteral("glue-final"),
        QStringLiteral("Falha: envia \"FINAL\" na mesma escrita que os últimos "
                       "dados."));
    const QCommandLineOption vendor(
        QStringLiteral("vendor"),
        QStringLiteral("Id USB do fabricante da porta simulada, em hexadecimal (1fc9)."),
        QStringLiteral("HEX"),
        QStringLiteral("1fc9"));
    const QCommandLineOption damageItem(
        QStringLiteral("damage-item"),
        QStringLiteral("Falha: danifica a transferência do item N (a partir de 1) como dizem "
                       "--cut-bytes e --flip-offset."),
        QStringLiteral("N"));
    const QCommandLineOption cutBytes(
        QStringLiteral("cut-bytes"),
        QStringLiteral("Falha: envia o item danificado com tantos bytes a menos."),
        QStringLiteral("BYTES"));
    const QCommandLineOption flipOffset(
        QStringLiteral("flip-offset"),
        QStringLiteral("Falha: inverte o byte do item danificado nesta posição."),
        QStringLiteral("POSIÇÃO"));
    const QCommandLineOption plugAfter(
        QStringLiteral("plug-after"),
        QStringLiteral("Começa com o cabo desligado e o liga depois de S segundos."),
        QStringLiteral("S"));
    const QCommandLineOption unplugAt(
        QStringLiteral("unplug-at"),
        QStringLiteral("Puxa o cabo S segundos depois do início (repetível, ou S,S,...)."),
        QStringLiteral("S"));
    const QCommandLineOption plugAt(
        QStringLiteral("plug-at"),
        QStringLiteral("Liga o cabo de novo S segundos depois do início (repetível)."),
        QStringLiteral("S"));
    const QCommandLineOption barePty(
        QStringLiteral("bare-pty"),
        QStringLiteral("Serve num pseudoterminal simples em vez de um dispositivo USB; o programa "
                       "acha o caminho em OTDR_SIM_TTY (para as portas COM do Wine). Um cabo "
                       "puxado o desliga de vez."));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Relata cada pedido e cada listagem lida na "
                                                "saída de erros."));
    parser.addOptions({folder,
                       chunk,
                       pause,
                       baud,
                       stopAfter,
                       dropAfter,
                       silence,
                       merge,
                       split,
                       glue,
                       vendor,
                       damageItem,
                       cutBytes,
                       flipOffset,
                       plugAfter,
                       unplugAt,
                       plugAt,
                       barePty,
                       log});
    parser.process(app);

    SimulatedInstrument::Options options;
    bool ok = true;
    auto number = [&](const QCommandLineOption &option, int &target) {
        if (!parser.isSet(option) && option.defaultValues().isEmpty())
            return;
        bool good = false;
        target = parser.value(option).toInt(&good);
        ok = ok && good && target >= 0;
    };
    number(chunk, options.chunkSize);
    number(pause, options.replyPauseMs);
    number(baud, options.bitRate);
    number(stopAfter, options.stopAfterRequests);
    number(dropAfter, options.dropLinkAfterBytes);
    number(silence, options.silenceAfterReplies);
    number(damageItem, options.damagedItem);
    number(cutBytes, options.cutBytes);
    number(flipOffset, options.flipOffset);
    options.mergeFirstRecords = parser.isSet(merge);
    options.splitReplies = parser.isSet(split);
    options.glueFinal = parser.isSet(glue);
    bool vendorOk = false;
    const unsigned vendorId = parser.value(vendor).toUInt(&vendorOk, 16);
    QList<int> plugTimes;
    QList<int> unplugTimes;
    ok = ok && seconds(parser.values(plugAfter), plugTimes) && plugTimes.size() <= 1
         && seconds(parser.values(plugAt), plugTimes)
         && seconds(parser.values(unplugAt), unplugTimes);
    const bool bare = parser.isSet(barePty);
    if (bare && !plugTimes.isEmpty()) {
        err() << QStringLiteral(
            "otdr-sim: um pseudoterminal simples não pode ser ligado de novo\n");
        return 2;
    }
    if (!ok || !vendorOk || options.chunkSize < 1) {
        err() << QStringLiteral("otdr-sim: uma opção tem valor fora do intervalo; veja --help\n");
        return 2;
    }

    QTemporaryDir copy;
    QString served = parser.value(folder);
    if (served.isEmpty()) {
        if (!copy.isValid() || !copyFolder(QStringLiteral(OTDR_SAMPLES_DIR), copy.path())) {
            err() << QStringLiteral("otdr-sim: não foi possível copiar os traços de exemplo de ")
                  << OTDR_SAMPLES_DIR << "\n";
            return 1;
        }
        served = copy.path();
    }

    MockSerialDevice device;
    const bool startPlugged = !parser.isSet(plugAfter);
    QString port;
    int bareMaster = -1;
    if (bare) {
        bareMaster = openBarePty(port);
        if (bareMaster < 0) {
            err() << QStringLiteral("otdr-sim: não foi possível abrir um pseudoterminal\n");
            return 1;
        }
    } else if (startPlugged) {
        port = device.addPort(vendorId);
        if (port.isEmpty())
            return 1;
    }
    SimulatedInstrument instrument(bare ? bareMaster : startPlugged ? device.masterFd(port) : -1);
    instrument.setOptions(options);
    if (!instrument.serveFolder(served)) {
        err() << QStringLiteral("otdr-sim: não foi possível ler a pasta ") << served << "\n";
        return 1;
    }

    const bool logging = parser.isSet(log);
    QTimer settleWatch;
    settleWatch.setInterval(20);
    QObject::connect(&instrument, &SimulatedInstrument::requestReceived, [&](const QByteArray &r) {
        if (logging)
            err() << "otdr-sim: pedido " << requestText(r) << Qt::endl;
        if (r == SimulatedInstrument::listRequest())
            settleWatch.start();
    });
    QObject::connect(&settleWatch, &QTimer::timeout, [&] {
        if (!instrument.settled())
            return;
        settleWatch.stop();
        if (logging)
            err() << "otdr-sim: listagem de " << instrument.files().size() << " arquivos lida"
                  << Qt::endl;
    });
    bool plugged = startPlugged;
    auto unplug = [&] {
        if (!plugged)
            return;
        plugged = false;
        if (logging)
            err() << "otdr-sim: cabo puxado" << Qt::endl;
        instrument.detach();
        if (bare) {
            close(bareMaster);
            bareMaster = -1;
        } else {
            device.unplug(port);
        }
    };
    auto plug = [&] {
        if (plugged)
            return;
        port = device.addPort(vendorId);
        if (port.isEmpty())
            return;
        plugged = true;
        instrument.attach(device.masterFd(port));
        if (logging)
            err() << "otdr-sim: cabo ligado em " << port << Qt::endl;
    };
    QObject::connect(&instrument, &SimulatedInstrument::linkDropRequested, unplug);
    for (int ms : qAsConst(plugTimes))
        QTimer::singleShot(ms, &app, plug);
    for (int ms : qAsConst(unplugTimes))
        QTimer::singleShot(ms, &app, unplug);

    QStringList command = parser.positionalArguments();
    if (command.isEmpty())
        command = QStringList(
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("otdr")));

    ChildProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (bare) {
        environment.insert(QStringLiteral("OTDR_SIM_TTY"), port);
    } else {
        environment.insert(QStringLiteral("UMOCKDEV_DIR"), device.rootDir());
        const QString preload = environment.value(QStringLiteral("LD_PRELOAD"));
        environment.insert(QStringLiteral("LD_PRELOAD"),
                           QStringLiteral("libumockdev-preload.so.0")
                               + (preload.isEmpty() ? QString() : QLatin1Char(':') + preload));
    }
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.setInputChannelMode(QProcess::ForwardedInputChannel);
    child.setProgram(command.takeFirst());
    child.setArguments(command);
    QObject::connect(&child,
                     QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                     &app,
                     [&](int code, QProcess::ExitStatus status) {
                         app.exit(status == QProcess::NormalExit ? code : 1);
                     });
    QObject::connect(&child, &QProcess::errorOccurred, &app, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            err() << QStringLiteral("otdr-sim: não foi possível iniciar ") << child.program()
                  << ": " << child.errorString() << "\n";
            app.exit(127);
        }
    });

    // On SIGINT, SIGTERM or SIGHUP the program is ended with the simulator.
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGHUP, onSignal);
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        signalNotifier.setEnabled(false);
        child.terminate();
        if (!child.waitForFinished(3000))
            child.kill();
    });

    if (logging) {
        err() << "otdr-sim: servindo " << served << " em "
              << (startPlugged ? port : QStringLiteral("um cabo ainda não ligado")) << Qt::endl;
    }
    child.start();
    const int result = app.exec();
    if (child.state() != QProcess::NotRunning) {
        child.kill();
        child.waitForFinished(3000);
    }
    return result;
}
