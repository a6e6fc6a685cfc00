#include "archive/archive.h"
#include "archivedialog.h"
#include "viewerwindow.h"

#include <QDir>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

// The trace archive in the Windows build: its drivers, its default file, the viewer's window.
class TestWinArchive : public QObject
{
    Q_OBJECT

private slots:
    void drivers();
    void defaultFile();
    void viewerSearches();
};

// Both drivers load from sqldrivers\ beside the program, as in the zip and the MSI.
void TestWinArchive::drivers()
{
    const QStringList drivers = QSqlDatabase::drivers();
    QVERIFY2(drivers.contains(QStringLiteral("QSQLITE")), qPrintable(drivers.join(", ")));
    QVERIFY2(drivers.contains(QStringLiteral("QPSQL")), qPrintable(drivers.join(", ")));
    // The PostgreSQL driver's plugin loads only with libpq.dll beside the program.
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("probe"));
    QVERIFY2(db.isValid(), qPrintable(db.lastError().text()));
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("probe"));
}

// The user's archive is under AppData\Local (the machine's own, not the roaming profile that a
// network copies at each logon), shared by otdr-sor and otdr-view.
void TestWinArchive::defaultFile()
{
    const QString path = Archive::Archive::defaultPath();
    QVERIFY2(QDir::fromNativeSeparators(path).endsWith(
                 QStringLiteral("/AppData/Local/otdr/arquivo-de-tracos.sqlite")),
             qPrintable(path));
    QVERIFY2(!path.contains(QLatin1String("Roaming")), qPrintable(path));
}

// Arquivo > Arquivo de traços… indexes the sample traces and finds a fibre's; the window is
// saved as a picture beside the tests (archive-window.png) for a person to look at.
void TestWinArchive::viewerSearches()
{
    QTemporaryDir dir;
    ViewerWindow window;
    window.resize(1200, 800);
    window.show();
    ArchiveDialog *dialog = window.showArchive(dir.filePath(QStringLiteral("arquivo.sqlite")));
    QVERIFY(dialog);
    const Archive::AddResult added = dialog->addFolder(QStringLiteral(OTDR_SAMPLES_DIR));
    QVERIFY2(added.newTraces >= 8, qPrintable(QString::number(added.newTraces)));
    dialog->fibreField()->setText(QStringLiteral("F01"));
    QVERIFY(dialog->search());
    QVERIFY2(dialog->table()->rowCount() >= 2, qPrintable(dialog->status()));
    for (int row = 0; row < dialog->table()->rowCount(); ++row) {
        bool rowNamesF01 = false;
        for (int column = 0; column < dialog->table()->columnCount(); ++column) {
            const QTableWidgetItem *item = dialog->table()->item(row, column);
            rowNamesF01 = rowNamesF01 || (item && item->text() == QLatin1String("F01"));
        }
        QVERIFY2(rowNamesF01, qPrintable(QString::number(row)));
    }
    QVERIFY2(dialog->status().contains(QStringLiteral("traço")), qPrintable(dialog->status()));
    dialog->resize(1000, 500);
    QCoreApplication::processEvents();
    QVERIFY(dialog->grab().save(QStringLiteral(OTDR_SHOT_DIR "/archive-window.png")));
}

QTEST_MAIN(TestWinArchive)
#include "tst_winarchive.moc"
