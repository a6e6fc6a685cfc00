#include "app/mainwindow.h"
#include "modalwatcher.h"
#include "version/version.h"
#include "viewerwindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

// The release a build is: one number, the project's, that every program, About box and
// CHANGELOG.md agree on.
class TestVersion : public QObject
{
    Q_OBJECT

private slots:
    void release();
    void versionOption_data();
    void versionOption();
    void viewerAbout();
    void windowAbout();
};

namespace {
const QString project = QStringLiteral(OTDR_PROJECT_VERSION);

// The About box a triggered action opens, answered and recorded.
ModalWatcher::Seen aboutBox(QAction *action, ModalWatcher &watcher)
{
    const int before = watcher.seen().size();
    action->trigger();
    return watcher.seen().size() == before + 1 ? watcher.seen().last() : ModalWatcher::Seen();
}
} // namespace

// The build is the project's release, and CHANGELOG.md says what that release brings: a
// number raised without its entry, or an entry for a number never raised, fails here.
void TestVersion::release()
{
    QVERIFY2(QRegularExpression("^[1-9]\\d*\\.\\d+\\.\\d+$").match(project).hasMatch(),
             qPrintable(project));
    QCOMPARE(Version::number(), project);
    QCOMPARE(Version::label(), QStringLiteral("otdr ") + project);
    QFile changelog(QStringLiteral(OTDR_CHANGELOG));
    QVERIFY(changelog.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(changelog.readAll());
    const QRegularExpressionMatch newest
        = QRegularExpression("^## (\\S+)$", QRegularExpression::MultilineOption).match(text);
    QVERIFY2(newest.hasMatch(), "CHANGELOG.md has no release heading");
    QCOMPARE(newest.captured(1), project);
}

void TestVersion::versionOption_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("line");
    QTest::newRow("otdr") << OTDR_PROGRAM << QStringLiteral("otdr %1").arg(project);
    QTest::newRow("otdr-sor") << OTDR_SOR << QStringLiteral("otdr-sor (otdr %1)").arg(project);
    QTest::newRow("otdr-view") << OTDR_VIEW << QStringLiteral("otdr-view (otdr %1)").arg(project);
    QTest::newRow("otdr-sim") << OTDR_SIM << QStringLiteral("otdr-sim (otdr %1)").arg(project);
}

// Each program says its release with --version, alone on standard output, and exits 0; the
// programs whose help lists their options list it in Portuguese.
void TestVersion::versionOption()
{
    QFETCH(QString, program);
    QFETCH(QString, line);
    QProcess process;
    // The window and the viewer start a GUI platform, which would note a missing runtime folder.
    QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    process.setProcessEnvironment(environment);
    process.start(program, {QStringLiteral("--version")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), line + QLatin1Char('\n'));
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), QString());

    process.start(program, {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(help.contains(QLatin1String("--version")), qPrintable(help));
    QVERIFY2(!help.contains(QLatin1String("Displays version")), qPrintable(help));
}

// Ajuda > Sobre o otdr-view… names the viewer and its release.
void TestVersion::viewerAbout()
{
    ViewerWindow window;
    QAction *about = window.findChild<QAction *>(QStringLiteral("aboutAction"));
    QVERIFY(about);
    const QList<QAction *> menus = window.menuBar()->actions();
    QVERIFY(!menus.isEmpty());
    QCOMPARE(menus.last()->text(), QStringLiteral("Aj&uda"));
    QVERIFY(menus.last()->menu()->actions().contains(about));
    ModalWatcher watcher;
    const ModalWatcher::Seen box = aboutBox(about, watcher);
    QCOMPARE(box.className, QStringLiteral("QMessageBox"));
    QCOMPARE(box.title, QStringLiteral("Sobre o otdr-view"));
    QVERIFY2(box.text.contains(QStringLiteral("<b>otdr-view</b><br>otdr ") + project),
             qPrintable(box.text));
    QVERIFY2(box.text.contains(QStringLiteral("Qt ") + QLatin1String(qVersion())),
             qPrintable(box.text));
}

// The window's form stays as it is: its About box is the last entry of the file table's menu,
// after "Atualizar lista".
void TestVersion::windowAbout()
{
    ModalWatcher watcher;
    MainWindow window; // no instrument here: its three warnings are answered
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QVERIFY(table);
    QCOMPARE(table->contextMenuPolicy(), Qt::ActionsContextMenu);
    const QList<QAction *> entries = table->actions();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries.at(0)->text(), QStringLiteral("Atualizar lista"));
    QVERIFY(entries.at(1)->isSeparator());
    QCOMPARE(entries.at(2)->objectName(), QStringLiteral("aboutAction"));
    QCOMPARE(entries.at(2)->text(), QStringLiteral("Sobre o otdr…"));
    const ModalWatcher::Seen box = aboutBox(entries.at(2), watcher);
    QCOMPARE(box.className, QStringLiteral("QMessageBox"));
    QCOMPARE(box.title, QStringLiteral("Sobre o otdr"));
    QVERIFY2(box.text.contains(QStringLiteral("<b>otdr</b><br>otdr ") + project),
             qPrintable(box.text));
}

QTEST_MAIN(TestVersion)
#include "tst_version.moc"
