#include "translation/qtportuguese.h"

#include "modalwatcher.h"

#include <QCommandLineParser>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// Qt's own texts in the programs' language: dialogs, file dialogs, command-line help.
class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLine();
    void questionButtons();
    void fileDialog();
    void programs_data();
    void programs();
};

namespace {
QStringList buttonTexts(const QWidget *dialog)
{
    QStringList texts;
    for (const QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->isVisible())
            texts.append(button->text().remove(QLatin1Char('&')));
    texts.sort();
    return texts;
}
} // namespace

void TestTranslation::initTestCase()
{
    const QStringList loaded = QtPortuguese::install(qApp);
    QVERIFY2(!loaded.isEmpty(), qPrintable(QtPortuguese::searchFolders().join(", ")));
    QVERIFY2(loaded.first().endsWith(QLatin1String("qtbase_pt_BR.qm")), qPrintable(loaded.first()));
}

void TestTranslation::commandLine()
{
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("limits"), QStringLiteral("Limites."), QStringLiteral("A")});
    parser.addPositionalArgument(QStringLiteral("ARQUIVO"), QStringLiteral("Traços."));
    const QString help = parser.helpText();
    for (const char *heading : {"Opções:", "Argumentos:"})
        QVERIFY2(help.contains(QString::fromUtf8(heading)), qPrintable(help));
    QVERIFY2(!help.contains(QLatin1String("Options:")), qPrintable(help));
    QVERIFY(!parser.parse({QStringLiteral("prog"), QStringLiteral("--limitz")}));
    QVERIFY2(parser.errorText().contains(QLatin1String("desconhecida")),
             qPrintable(parser.errorText()));
}

void TestTranslation::questionButtons()
{
    QStringList seen;
    QTimer::singleShot(0, this, [&] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        seen = buttonTexts(box);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QMessageBox::question(nullptr, QStringLiteral("Sobrescrever"), QStringLiteral("?"));
    QCOMPARE(seen, QStringList({QStringLiteral("Não"), QStringLiteral("Sim")}));

    QTimer::singleShot(0, this, [&] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        seen = buttonTexts(box);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QInputDialog::getItem(nullptr, QStringLiteral("Limites"), QStringLiteral("?"), {"a", "b"});
    QCOMPARE(seen, QStringList({QStringLiteral("Cancelar"), QStringLiteral("OK")}));
}

// The overwrite question of a save dialog, as the programs meet it.
void TestTranslation::fileDialog()
{
    QTemporaryDir dir;
    QFile existing(dir.filePath("t.sor"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    QFileDialog dialog(nullptr, QStringLiteral("Salvar"), dir.path());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.selectFile(existing.fileName());
    QStringList labels;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        labels.append(label->text());
    QVERIFY2(!labels.contains(QStringLiteral("Look in:")), qPrintable(labels.join('|')));
    QVERIFY2(!labels.contains(QStringLiteral("Files of type:")), qPrintable(labels.join('|')));
    QString question;
    QStringList answers;
    QStringList dialogButtons;
    QTimer::singleShot(0, this, [&] {
        dialogButtons = buttonTexts(&dialog);
        // The question comes up inside the click; it is read from there, then refused.
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            question = box->text();
            answers = buttonTexts(box);
            box->reject();
        });
        dialog.findChild<QDialogButtonBox *>()->buttons().first()->click();
        dialog.reject();
    });
    dialog.exec();
    QVERIFY2(question.contains(QLatin1String("t.sor")), qPrintable(question));
    QVERIFY2(!question.contains(QLatin1String("replace")), qPrintable(question));
    QCOMPARE(answers, QStringList({QStringLiteral("Não"), QStringLiteral("Sim")}));
    QCOMPARE(dialogButtons, QStringList({QStringLiteral("Cancelar"), QStringLiteral("Salvar")}));
}

void TestTranslation::programs_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("says");
    QTest::newRow("otdr-sor help") << OTDR_SOR << QStringList{"plot", "--help"} << "Argumentos:";
    QTest::newRow("otdr-sor mistyped option")
        << OTDR_SOR << QStringList{"check", "--limitz", "x.sor"} << "opção desconhecida: --limitz";
    QTest::newRow("otdr-view help") << OTDR_VIEW << QStringList{"--help"} << "Opções:";
}

void TestTranslation::programs()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    QProcess process;
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(20000));
    const QString output
        = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    QVERIFY2(output.contains(says), qPrintable(output));
}

QTEST_MAIN(TestTranslation)
#include "tst_translation.moc"
