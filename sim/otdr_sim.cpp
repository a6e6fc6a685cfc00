// otdr-sim: a simulated instrument on a fake USB serial port, and a program started where it
// can find it (by default the otdr beside this executable).

#include "mockserialdevice.h"
#include "simulatedinstrument.h"

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
    QCoreApplication::setApplicationName(QStringLiteral("otdr-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays the instrument on a fake USB serial port (vendor id 1fc9) and starts "
                       "PROGRAM where it finds that port.\nWithout --folder it serves a temporary "
                       "copy of the sample traces, so nothing of yours is ever deleted."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("PROGRAM"),
                                 QStringLiteral("program and arguments (default: otdr)"),
                                 QStringLiteral("[-- PROGRAM [ARGS...]]"));
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("Serve the files of DIR; deletes remove them."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption chunk(QStringLiteral("chunk"),
                                   QStringLiteral("Bytes of file data per reply (64)."),
                                   QStringLiteral("N"),
                                   QStringLiteral("64"));
    const QCommandLineOption pause(QStringLiteral("pause"),
                                   QStringLiteral("Pause before each reply, in ms (0)."),
                                   QStringLiteral("MS"),
                                   QStringLiteral("0"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Line rate to imitate, 8N1, e.g. 1200 (0: as fast "
                                                 "as the terminal takes it)."),
                                  QStringLiteral("BITS"),
                                  QStringLiteral("0"));
    const QCommandLineOption stopAfter(
        QStringLiteral("stop-after"),
        QStringLiteral("Fault: answer no request after the first N."),
        QStringLiteral("N"));
    const QCommandLineOption dropAfter(
        QStringLiteral("drop-after"),
        QStringLiteral("Fault: pull the cable after BYTES of file data."),
        QStringLiteral("BYTES"));
    const QCommandLineOption silence(QStringLiteral("silence-after"),
                                     QStringLiteral("Fault: fall silent after writing N replies."),
                                     QStringLiteral("N"));
    const QCommandLineOption merge(QStringLiteral("merge-records"),
                                   QStringLiteral("Fault: send the first two list records in one "
                                                  "write."));
    const QCommandLineOption split(
        QStringLiteral("split-replies"),
        QStringLiteral("Fault: write each reply a few bytes at a time, as a plain serial line "
                       "would (the instrument's USB port hands over each reply whole)."));
    const QCommandLineOption glue(
        QStringLiteral("glue-final"),
        QStringLiteral("Fault: send \"FINAL\" in the same write as the last "
                       "data."));
    const QCommandLineOption vendor(
        QStringLiteral("vendor"),
        QStringLiteral("USB vendor id of the fake port, hexadecimal (1fc9)."),
        QStringLiteral("HEX"),
        QStringLiteral("1fc9"));
    const QCommandLineOption damageItem(
        QStringLiteral("damage-item"),
        QStringLiteral("Fault: damage the download of item N (1-based) as --cut-bytes and "
                       "--flip-offset say."),
        QStringLiteral("N"));
    const QCommandLineOption cutBytes(
        QStringLiteral("cut-bytes"),
        QStringLiteral("Fault: send the damaged item this many bytes short of its size."),
        QStringLiteral("BYTES"));
    const QCommandLineOption flipOffset(
        QStringLiteral("flip-offset"),
        QStringLiteral("Fault: invert the damaged item's byte at this offset."),
        QStringLiteral("OFFSET"));
    const QCommandLineOption plugAfter(
        QStringLiteral("plug-after"),
        QStringLiteral("Start with the cable unplugged and plug it in after S seconds."),
        QStringLiteral("S"));
    const QCommandLineOption unplugAt(
        QStringLiteral("unplug-at"),
        QStringLiteral("Pull the cable S seconds after the start (repeatable, or S,S,...)."),
        QStringLiteral("S"));
    const QCommandLineOption plugAt(
        QStringLiteral("plug-at"),
        QStringLiteral("Plug the cable in again S seconds after the start (repeatable)."),
        QStringLiteral("S"));
    const QCommandLineOption barePty(
        QStringLiteral("bare-pty"),
        QStringLiteral("Serve on a bare pseudo-terminal instead of a USB device; the program "
                       "finds its path in OTDR_SIM_TTY (for Wine's COM ports). A pulled cable "
                       "hangs it up for good."));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Report each request and each listing read on "
                                                "standard error."));
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
        err() << "otdr-sim: a bare pseudo-terminal cannot be plugged in again\n";
        return 2;
    }
    if (!ok || !vendorOk || options.chunkSize < 1) {
        err() << "otdr-sim: an option has a value out of range; see --help\n";
        return 2;
    }

    QTemporaryDir copy;
    QString served = parser.value(folder);
    if (served.isEmpty()) {
        if (!copy.isValid() || !copyFolder(QStringLiteral(OTDR_SAMPLES_DIR), copy.path())) {
            err() << "otdr-sim: cannot copy the sample traces from " << OTDR_SAMPLES_DIR << "\n";
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
            err() << "otdr-sim: cannot open a pseudo-terminal\n";
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
        err() << "otdr-sim: cannot read the folder " << served << "\n";
        return 1;
    }

    const bool logging = parser.isSet(log);
    QTimer settleWatch;
    settleWatch.setInterval(20);
    QObject::connect(&instrument, &SimulatedInstrument::requestReceived, [&](const QByteArray &r) {
        if (logging)
            err() << "otdr-sim: request " << requestText(r) << Qt::endl;
        if (r == SimulatedInstrument::listRequest())
            settleWatch.start();
    });
    QObject::connect(&settleWatch, &QTimer::timeout, [&] {
        if (!instrument.settled())
            return;
        settleWatch.stop();
        if (logging)
            err() << "otdr-sim: listing of " << instrument.files().size() << " files read"
                  << Qt::endl;
    });
    bool plugged = startPlugged;
    auto unplug = [&] {
        if (!plugged)
            return;
        plugged = false;
        if (logging)
            err() << "otdr-sim: cable pulled" << Qt::endl;
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
            err() << "otdr-sim: cable plugged in on " << port << Qt::endl;
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
            err() << "otdr-sim: cannot start " << child.program() << ": " << child.errorString()
                  << "\n";
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
        err() << "otdr-sim: serving " << served << " on "
              << (startPlugged ? port : QStringLiteral("a cable not yet plugged in")) << Qt::endl;
    }
    child.start();
    const int result = app.exec();
    if (child.state() != QProcess::NotRunning) {
        child.kill();
        child.waitForFinished(3000);
    }
    return result;
}
