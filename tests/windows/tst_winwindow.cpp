#include "app/mainwindow.h"
#include "modalwatcher.h"

#include <QLabel>
#include <QTimer>
#include <QtTest>

// The window on Windows, where the ports come from SetupAPI and the registry.
class TestWinWindow : public QObject
{
    Q_OBJECT

private slots:
    void noInstrument();
};

// No port of the instrument's vendor: three warnings, then a window that waits for one and
// says so.
void TestWinWindow::noInstrument()
{
    ModalWatcher watcher;
    MainWindow window;
    window.show();
    QCOMPARE(watcher.seen().size(), 3);
    for (const ModalWatcher::Seen &seen : watcher.seen()) {
        QCOMPARE(seen.className, QStringLiteral("QMessageBox"));
        QCOMPARE(seen.title, QStringLiteral("Equipamento nao encontrado"));
    }
    auto *hint = window.findChild<QLabel *>(QStringLiteral("hint"));
    QVERIFY(hint);
    QTRY_VERIFY(hint->isVisible());
    QCOMPARE(hint->text(), QStringLiteral("Aguardando o equipamento no cabo USB…"));
    QVERIFY(window.findChild<QTimer *>(QStringLiteral("watchTimer"))->isActive());
    QTest::qWait(MainWindow::WatchIntervalMs + 200);
    QCOMPARE(watcher.seen().size(), 3);
}

QTEST_MAIN(TestWinWindow)
#include "tst_winwindow.moc"
