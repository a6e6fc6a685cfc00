#include "singleinstance/singleinstance.h"
#include "sorwriter.h"
#include "viewerwindow.h"

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

Q_DECLARE_METATYPE(QList<QByteArray>)

// Several traces opened together from a file manager, each in a viewer of its own, end in
// one viewer; a viewer started without traces keeps its window.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void namePerProgramAndUser();
    void laterViewerHandsOver();
    void viewerWithoutTracesStays_data();
    void viewerWithoutTracesStays();
    void selectionOpensInOneViewer();
    void leftoverSocketIsTaken();
    void messages_data();
    void messages();

private:
    QProcess *viewer(const QStringList &arguments);
    QString trace(const QString &name);

    QTemporaryDir dir;
    std::vector<std::unique_ptr<QProcess>> viewers;
};

namespace {

const QString Program = QStringLiteral("otdr-view");

QByteArray message(quint32 magic, const QByteArray &paths)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_12);
    out << magic << paths;
    return bytes;
}

} // namespace

void TestSingleInstance::initTestCase()
{
    QVERIFY(dir.isValid());
    viewerSettings()->clear();
}

void TestSingleInstance::cleanup()
{
    for (const auto &process : viewers) {
        process->kill();
        process->waitForFinished(5000);
    }
    viewers.clear();
    viewerSettings()->clear();
}

QProcess *TestSingleInstance::viewer(const QStringList &arguments)
{
    viewers.push_back(std::make_unique<QProcess>());
    QProcess *process = viewers.back().get();
    process->setWorkingDirectory(dir.path());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(OTDR_VIEW), arguments);
    return process;
}

QString TestSingleInstance::trace(const QString &name)
{
    SorWriter::Trace t = SorWriter::readerCases().first().trace;
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(SorWriter::write(t));
    return file.fileName();
}

void TestSingleInstance::namePerProgramAndUser()
{
    const QString name = SingleInstance::serverName(Program);
    QVERIFY(name.startsWith(Program + QLatin1Char('-')));
    QCOMPARE(SingleInstance::serverName(Program), name);
    QVERIFY(SingleInstance::serverName(QStringLiteral("otdr")) != name);
#ifdef Q_OS_UNIX
    // Another user (another home folder) has a socket of their own.
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", dir.path().toUtf8());
    const QString other = SingleInstance::serverName(Program);
    qputenv("HOME", home);
    QVERIFY(other != name);
#endif
}

void TestSingleInstance::laterViewerHandsOver()
{
    SingleInstance running(Program);
    QCOMPARE(running.start({}), SingleInstance::Listening);
    QSignalSpy received(&running, &SingleInstance::filesReceived);
    // Relative names, from the later viewer's folder: the running one has another.
    QDir(dir.path()).mkpath(QStringLiteral("sub"));
    QProcess *later = viewer({QStringLiteral("b.sor"), QStringLiteral("sub/a.sor")});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 20000);
    QCOMPARE(received.first().first().toStringList(),
             QStringList({QDir(dir.path()).filePath(QStringLiteral("b.sor")),
                          QDir(dir.path()).filePath(QStringLiteral("sub/a.sor"))}));
    // It ends, having opened no window of its own.
    QTRY_COMPARE_WITH_TIMEOUT(later->state(), QProcess::NotRunning, 20000);
    QCOMPARE(later->exitStatus(), QProcess::NormalExit);
    QCOMPARE(later->exitCode(), 0);
}

void TestSingleInstance::viewerWithoutTracesStays_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no traces") << QStringList();
    QTest::newRow("a cable's folder") << QStringList({QStringLiteral("--cable"), dir.path()});
}

void TestSingleInstance::viewerWithoutTracesStays()
{
    QFETCH(QStringList, arguments);
    SingleInstance running(Program);
    QCOMPARE(running.start({}), SingleInstance::Listening);
    QSignalSpy received(&running, &SingleInstance::filesReceived);
    QProcess *own = viewer(arguments);
    QVERIFY(own->waitForStarted(10000));
    // Long enough for a hand-over to have happened and the copy to have ended.
    QTest::qWait(5000);
    QCOMPARE(own->state(), QProcess::Running);
    QCOMPARE(received.count(), 0);
}

void TestSingleInstance::selectionOpensInOneViewer()
{
    // As a file manager does: one viewer per selected trace, all started at once.
    QStringList traces;
    for (int i = 1; i <= 5; ++i)
        traces << trace(QStringLiteral("fibra%1.sor").arg(i));
    for (const QString &path : traces)
        QVERIFY(!path.isEmpty());
    for (const QString &path : traces)
        viewer({path});
    const auto running = [this] {
        return std::count_if(viewers.begin(), viewers.end(), [](const auto &process) {
            return process->state() != QProcess::NotRunning;
        });
    };
    QTRY_COMPARE_WITH_TIMEOUT(running(), 1, 60000);
    for (const auto &process : viewers) {
        if (process->state() == QProcess::NotRunning)
            QCOMPARE(process->exitCode(), 0);
    }
    // The one left opened them all: each is among its recent files.
    const auto recent = [] {
        QStringList files = viewerSettings()->value(QStringLiteral("recentFiles")).toStringList();
        for (QString &file : files)
            file = QFileInfo(file).absoluteFilePath();
        files.sort();
        return files;
    };
    QStringList expected;
    for (const QString &path : traces)
        expected << QFileInfo(path).absoluteFilePath();
    expected.sort();
    QTRY_COMPARE_WITH_TIMEOUT(recent(), expected, 30000);
}

void TestSingleInstance::leftoverSocketIsTaken()
{
#ifdef Q_OS_UNIX
    // A viewer that crashed leaves its socket file, which nobody answers on.
    const QString path = QDir::temp().filePath(SingleInstance::serverName(Program));
    QFile::remove(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray local = QFile::encodeName(path);
    QVERIFY(size_t(local.size()) < sizeof(address.sun_path));
    memcpy(address.sun_path, local.constData(), size_t(local.size()));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);
    QVERIFY(QFileInfo::exists(path));
    SingleInstance instance(Program);
    QCOMPARE(instance.start({}), SingleInstance::Listening);
    // Taken for good: a second one finds it listening.
    SingleInstance second(Program);
    QProcess *later = viewer({QStringLiteral("x.sor")});
    QSignalSpy received(&instance, &SingleInstance::filesReceived);
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(later->state(), QProcess::NotRunning, 20000);
#else
    QSKIP("A named pipe ends with the program that made it");
#endif
}

void TestSingleInstance::messages_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("accepted");
    const QByteArray whole = message(0x4f544456, QByteArray("C:/a.sor\0D:/ç/b.sor", 20));
    QTest::newRow("whole") << QList<QByteArray>{whole}
                           << QStringList{"C:/a.sor", QStringLiteral("D:/ç/b.sor")} << true;
    QTest::newRow("in pieces") << QList<QByteArray>{whole.left(3), whole.mid(3, 10), whole.mid(13)}
                               << QStringList{"C:/a.sor", QStringLiteral("D:/ç/b.sor")} << true;
    QTest::newRow("something else")
        << QList<QByteArray>{message(0x12345678, "C:/a.sor")} << QStringList() << false;
    // Announcing more than a list of paths can be is not waited for.
    QByteArray huge;
    QDataStream out(&huge, QIODevice::WriteOnly);
    out << quint32(0x4f544456) << quint32(0x7fffffff);
    huge += QByteArray(5 * 1024 * 1024, 'x');
    QTest::newRow("too long") << QList<QByteArray>{huge} << QStringList() << false;
}

void TestSingleInstance::messages()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, files);
    QFETCH(bool, accepted);
    SingleInstance running(Program);
    QCOMPARE(running.start({}), SingleInstance::Listening);
    QSignalSpy received(&running, &SingleInstance::filesReceived);
    QLocalSocket client;
    client.connectToServer(SingleInstance::serverName(Program));
    QVERIFY(client.waitForConnected(5000));
    for (const QByteArray &chunk : chunks) {
        client.write(chunk);
        client.flush();
        QTest::qWait(50);
    }
    if (accepted) {
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 10000);
        QCOMPARE(received.first().first().toStringList(), files);
        QTRY_VERIFY(client.bytesAvailable() > 0 || client.state() != QLocalSocket::ConnectedState);
        QCOMPARE(client.read(1), QByteArray("A"));
    } else {
        // Cut off without an answer.
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QLocalSocket::UnconnectedState, 10000);
        QCOMPARE(client.readAll(), QByteArray());
        QCOMPARE(received.count(), 0);
    }
}

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
