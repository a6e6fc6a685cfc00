#include "baselinedialog.h"
#ifdef OTDR_HAVE_ARCHIVE
#include "archivedialog.h"
#endif
#include "cablewindow.h"
#include "comparisondialog.h"
#include "limitsdialog.h"
#include "modalwatcher.h"
#include "plotwidget.h"
#include "sor/sorreader.h"
#include "sorwriter.h"
#include "traceplot/markers.h"
#include "tracesim.h"
#include "viewerwindow.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// otdr-view's window on traces the project's generator writes.
class TestView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openOverlayRemove();
    void reflectanceValues();
    void reanalysis();
    void sectionsOnDemand();
    void fileWithoutEvents();
    void limitsAndReport();
    void fileThatCannotBeRead();
    void markerReadout();
    void eventTable();
    void zoomPanAndMarkers();
    void compareOneFibre();
    void editIdentification();
    void exportsNeverOverATrace();
    void deleteActsOnFocus();
    void mnemonicsDiffer();
    void decimalComma();
    void keyboard();
    void comparisonCloses();
    void limitsShownBeforeApplied();
    void reportHeadingAskedAndKept();
    void cableProject();
    void cableLimitsDialog();
    void savedFilesAndAnEmptyWindow();
    void routeInTheReadout();
    void baselineCompared();
#ifdef OTDR_HAVE_ARCHIVE
    void archiveSearched();
#endif

private:
    QString write(const QString &name, const SorWriter::Trace &trace);

    QTemporaryDir dir;
    // Falls 0.001 dB every 5 m: 0.2 dB/km, from 1.5 dB below the launch level.
    SorWriter::Trace linear;
};

void TestView::initTestCase()
{
    // What an earlier run remembered (recent files, a report's logo) is not this run's.
    viewerSettings()->clear();
    linear = SorWriter::readerCases().first().trace;
    linear.pulses = {{100, SorWriter::spacingFor(5.0, linear.groupIndex), 4000}};
    linear.data.first().values.resize(4000);
    for (int i = 0; i < 4000; ++i)
        linear.data.first().values[i] = quint16(1500 + i);
}

QString TestView::write(const QString &name, const SorWriter::Trace &trace)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(SorWriter::write(trace));
    return file.fileName();
}

void TestView::openOverlayRemove()
{
    SorWriter::Trace second = linear;
    second.wavelength = 13100;
    ViewerWindow window;
    window.show();
    QCOMPARE(window.openFiles({write("a.sor", linear), write("b.sor", second)}), 2);
    auto *list = window.findChild<QListWidget *>("traces");
    QCOMPARE(list->count(), 2);
    QCOMPARE(window.selected(), 1);
    QVERIFY(window.plot()->markers().a && window.plot()->markers().b);
    // The plot shows the whole of both traces.
    QVERIFY(qAbs(window.plot()->view().x1 - 3999 * 5.0) < 5.0);
    window.removeTrace(0);
    QCOMPARE(window.traceCount(), 1);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QStringLiteral("b.sor"));
    QVERIFY(window.findChild<QLabel *>("information")->text().contains("1310 nm"));
    window.removeTrace(0);
    QCOMPARE(window.traceCount(), 0);
    // A damaged trace is still shown, and said to be damaged.
    SorWriter::Trace damaged = linear;
    damaged.checksum = SorWriter::Checksum::Wrong;
    QCOMPARE(window.openFiles({write("damaged.sor", damaged)}), 1);
    QVERIFY(window.findChild<QLabel *>("information")->text().contains("DANIFICADO"));
    QCOMPARE(list->item(0)->foreground().color(), QColor(0xc0, 0, 0));
    QCOMPARE(list->item(0)->text(), QStringLiteral("damaged.sor (danificado)"));
    window.removeTrace(0);
    QCOMPARE(window.findChild<QTableWidget *>("events")->rowCount(), 0);
    QVERIFY(window.exportCsv(dir.filePath("none.csv")) == false);
}

// "None" leaves the reflectance cell empty; a positive value stays, with a warning.
void TestView::reflectanceValues()
{
    ViewerWindow window;
    window.show();
    const auto open = [&](const char *name) {
        const SorWriter::Case c = SorWriter::readerCase(QString::fromUtf8(name));
        QCOMPARE(window.openFiles({write(c.name + ".sor", c.trace)}), 1);
    };
    auto *events = window.findChild<QTableWidget *>("events");
    auto *information = window.findChild<QLabel *>("information");
    open("reflectance stored as none");
    QCOMPARE(events->rowCount(), 3);
    QCOMPARE(events->item(0, 4)->text(), QString());
    QCOMPARE(events->item(1, 4)->text(), QStringLiteral("-43,00"));
    QVERIFY(!information->text().contains("Aviso"));
    open("positive reflectance");
    QCOMPARE(events->item(1, 4)->text(), QStringLiteral("40,00"));
    QVERIFY(information->text().contains(QStringLiteral("refletância positiva")));
}

// "Reanalisar" puts the analysis' events in place of the file's, marked as such in the tab and
// the legend; "Eventos do arquivo" brings the file's back.
void TestView::reanalysis()
{
    SorWriter::Simulation fibre;
    fibre.pulseNs = 1000;
    fibre.spacingM = 5;
    fibre.points = 12000;
    fibre.launchSnrDb = 35;
    fibre.events = {{SorWriter::TrueEvent::Reflection, 15000, 0.5, -45},
                    {SorWriter::TrueEvent::End, 40000, 0, -14}};
    SorWriter::Trace written = SorWriter::simulatedTrace(fibre);
    written.withEvents = true;
    written.events = {SorWriter::Event{}}; // one event of its own, at 0 m
    ViewerWindow window;
    window.show();
    QCOMPARE(window.openFiles({write("fibre.sor", written)}), 1);
    auto *events = window.findChild<QTableWidget *>("events");
    auto *tabs = window.findChild<QTabWidget *>("tabs");
    auto *list = window.findChild<QListWidget *>("traces");
    auto *fileEvents = window.findChild<QAction *>("fileEvents");
    QCOMPARE(events->rowCount(), 1);
    QVERIFY(!fileEvents->isEnabled());
    window.reanalyze({});
    QCOMPARE(events->rowCount(), 2);
    QCOMPARE(events->item(0, 1)->text(), QStringLiteral("15000,0"));
    QCOMPARE(events->item(0, 2)->text(), QStringLiteral("reflexivo"));
    QCOMPARE(events->item(1, 2)->text(), QStringLiteral("fim da fibra"));
    QCOMPARE(tabs->tabText(0), QStringLiteral("Eventos (análise)"));
    QVERIFY(list->item(0)->toolTip().startsWith(QStringLiteral("fibre.sor (análise)")));
    QVERIFY(fileEvents->isEnabled());
    fileEvents->trigger();
    QCOMPARE(events->rowCount(), 1);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Eventos"));
    QCOMPARE(list->item(0)->text(), QStringLiteral("fibre.sor"));
}

// Exibir > Trechos da análise draws under the chosen trace what the analysis told it is made
// of: a band along each section of fibre, a strip of each stretch's colour at the bottom; off
// again, nothing.
void TestView::sectionsOnDemand()
{
    SorWriter::Simulation fibre;
    fibre.pulseNs = 1000;
    fibre.spacingM = 5;
    fibre.points = 12000;
    fibre.launchSnrDb = 35;
    fibre.events
        = {{SorWriter::TrueEvent::Step, 15000, 0.5, 0}, {SorWriter::TrueEvent::End, 40000, 0, -14}};
    ViewerWindow window;
    window.resize(1200, 700);
    window.show();
    QCOMPARE(window.openFiles({write("sections.sor", SorWriter::simulatedTrace(fibre))}), 1);
    auto *sections = window.findChild<QAction *>("sections");
    QVERIFY(sections && sections->isCheckable());
    PlotWidget *plot = window.plot();
    QVERIFY(plot->sections().isEmpty());
    sections->trigger();
    QStringList kinds;
    for (const TracePlot::SectionBand &b : plot->sections())
        kinds << QString::number(int(b.kind));
    QCOMPARE(kinds.count(QString::number(int(TracePlot::SectionBand::Kind::Fibre))), 2);
    QCOMPARE(plot->sections().back().kind, TracePlot::SectionBand::Kind::Floor);
    // The strip at the bottom of the plot, under the first section of fibre, in its colour.
    const QImage shot = plot->grab().toImage();
    const QRect area = TracePlot::plotArea(plot->rect());
    const TracePlot::Mapping map(area, plot->view());
    const int x = int(map.x(8000));
    QCOMPARE(shot.pixelColor(x, area.bottom() - TracePlot::SectionStrip / 2).rgb(),
             TracePlot::bandColour(TracePlot::SectionBand::Kind::Fibre).rgb());
    sections->trigger();
    QVERIFY(plot->sections().isEmpty());
}

// A file that stores no events is shown with the analysis' of its points, marked as such.
void TestView::fileWithoutEvents()
{
    SorWriter::Simulation fibre;
    fibre.pulseNs = 1000;
    fibre.spacingM = 5;
    fibre.points = 12000;
    fibre.launchSnrDb = 35;
    fibre.events = {{SorWriter::TrueEvent::Reflection, 15000, 0.5, -45},
                    {SorWriter::TrueEvent::End, 40000, 0, -14}};
    SorWriter::Trace bare = SorWriter::simulatedTrace(fibre);
    bare.version = 1;
    bare.withEvents = false;
    ViewerWindow window;
    window.show();
    QCOMPARE(window.openFiles({write("bare.sor", bare)}), 1);
    auto *events = window.findChild<QTableWidget *>("events");
    auto *tabs = window.findChild<QTabWidget *>("tabs");
    QCOMPARE(events->rowCount(), 2);
    QCOMPARE(events->item(0, 2)->text(), QStringLiteral("reflexivo"));
    QCOMPARE(tabs->tabText(0), QStringLiteral("Eventos (análise)"));
}

// With limits chosen, each event's verdict stands in the table, a failure in red and in words;
// the report of the open traces is written as a PDF.
void TestView::limitsAndReport()
{
    ViewerWindow window;
    window.show();
    const SorWriter::Case c = SorWriter::readerCase(QStringLiteral("whole file, CCITT-FALSE"));
    QCOMPARE(window.openFiles({write("judged.sor", c.trace)}), 1);
    auto *events = window.findChild<QTableWidget *>("events");
    QCOMPARE(events->rowCount(), 3);
    QCOMPARE(events->item(1, 6)->text(), QString());
    window.setLimits(
        Acceptance::parseLimits(R"({"name": "x", "connector_loss_max_db": 0.3})", nullptr));
    QCOMPARE(events->item(0, 6)->text(), QStringLiteral("APROVADO"));
    QCOMPARE(events->item(1, 6)->text(),
             QStringLiteral("REPROVADO: perda de conector máx. 0,300 dB"));
    QCOMPARE(events->item(1, 6)->foreground().color(), QColor(0xc0, 0, 0));
    QCOMPARE(events->item(2, 6)->text(), QString()); // the fibre end is not judged
    // Informações gives the link and its verdict by the limits chosen.
    const QString info = window.findChild<QLabel *>("information")->text();
    for (const char *said : {"Comprimento da fibra", "Perda total", "ORL", "Veredito", "REPROVADO"})
        QVERIFY2(info.contains(QString::fromUtf8(said)), qPrintable(info));
    const QString pdf = dir.filePath("relatorio.pdf");
    QVERIFY(window.exportReport(pdf));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(5) == "%PDF-");
    QVERIFY(!window.exportReport(dir.filePath("nowhere/relatorio.pdf")));
}

// A file that cannot be read is named with its reason; the traces already open stay.
void TestView::fileThatCannotBeRead()
{
    ViewerWindow window;
    window.show();
    window.openFiles({write("good.sor", linear)});
    QFile cut(dir.filePath("cut.sor"));
    cut.open(QIODevice::WriteOnly);
    cut.write(SorWriter::write(linear).left(500));
    cut.close();
    ModalWatcher watcher;
    QCOMPARE(window.openFiles({cut.fileName(), dir.filePath("missing.sor"), dir.path()}), 0);
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Arquivo não aberto"));
    const QString text = watcher.seen().first().text;
    QVERIFY2(text.contains("cut.sor: o bloco") && text.contains("missing.sor: ")
                 && text.contains(": é uma pasta"),
             qPrintable(text));
    QCOMPARE(window.traceCount(), 1);
}

// The read-out against a hand calculation: 5 km at 0.2 dB/km lose 1 dB, within one point.
void TestView::markerReadout()
{
    ViewerWindow window;
    window.show();
    window.openFiles({write("linear.sor", linear)});
    window.plot()->setMarker(0, 2000);
    window.plot()->setMarker(1, 7000);
    const Sor::Trace trace = Sor::read(SorWriter::write(linear));
    const double spacing = *trace.spacingM;
    const TracePlot::Readout r = TracePlot::readout(trace, 2000, 7000);
    QVERIFY(qAbs(r.aDb - -1.9) <= 0.001 + 1e-9);
    QVERIFY(qAbs(r.bDb - -2.9) <= 0.001 + 1e-9);
    QCOMPARE(r.distanceM, 5000.0);
    QVERIFY(qAbs(r.deltaDb - -1.0) <= 0.002 + 1e-9);
    QVERIFY(qAbs(r.dbPerKm - 0.2) <= 0.0005);
    QVERIFY(qAbs(*r.lsaDbPerKm - 0.2 * 5.0 / spacing) < 1e-6);
    QVERIFY(qAbs(*r.lsaLossDb - 1.0) < 0.001);
    const QString shown = window.findChild<QLabel *>("readout")->text();
    QVERIFY2(shown.contains("5,0000 km") && shown.contains("0,200 dB/km")
                 && shown.contains("1,000 dB"),
             qPrintable(shown));
    // Levels are read off the nearest point: a marker between points takes the nearer one.
    QCOMPARE(TracePlot::levelAt(trace, 2.4 * spacing), trace.levelDb[2]);
    QCOMPARE(TracePlot::levelAt(trace, 2.6 * spacing), trace.levelDb[3]);
    // A marker past the trace's last point (19,995 km) reads nothing, and nothing is measured
    // between it and the other: no level, no loss, no least-squares line.
    const TracePlot::Readout off = TracePlot::readout(trace, 2000, 25000);
    QVERIFY(off.aOnTrace && !off.bOnTrace);
    QVERIFY(std::isnan(off.bDb) && std::isnan(off.deltaDb) && std::isnan(off.dbPerKm));
    QVERIFY(!off.lsaLossDb && !off.lsaDbPerKm);
    window.plot()->setMarker(1, 25000);
    const QString past = window.findChild<QLabel *>("readout")->text();
    QVERIFY2(past.contains("25,0000 km · fora do traço") && !past.contains("sem dados"),
             qPrintable(past));
    for (const char *row : {"Δ nível", "Perda/km", "Perda LSA", "Atenuação LSA"})
        QVERIFY2(past.contains(QStringLiteral("<tr><td>%1</td><td align='right'>—</td></tr>")
                                   .arg(QString::fromUtf8(row))),
                 qPrintable(past));
}

// The table shows the file's events in metres and dB; a row puts marker A on its event.
void TestView::eventTable()
{
    const SorWriter::Trace written = SorWriter::sampleTraces().first().trace;
    ViewerWindow window;
    window.show();
    window.openFiles({write("sample.sor", written)});
    auto *table = window.findChild<QTableWidget *>("events");
    QCOMPARE(table->rowCount(), written.events.size());
    const double n = written.groupIndex / 100000.0;
    for (int r = 0; r < written.events.size(); ++r) {
        const SorWriter::Event &e = written.events.at(r);
        const double metres = e.time * 1e-10 * 299792458.0 / n;
        QCOMPARE(table->item(r, 0)->text(), QString::number(e.number));
        QCOMPARE(table->item(r, 1)->text().replace(',', '.').toDouble(),
                 std::round(metres * 10) / 10);
        QCOMPARE(table->item(r, 3)->text().replace(',', '.').toDouble(), e.loss / 1000.0);
        QCOMPARE(table->item(r, 2)->text(),
                 e.code.at(1) == 'E'   ? QStringLiteral("fim da fibra")
                 : e.code.at(0) == '1' ? QStringLiteral("reflexivo")
                                       : QStringLiteral("não reflexivo"));
    }
    table->setCurrentCell(1, 0);
    QCOMPARE(*window.plot()->markers().a, written.events.at(1).time * 1e-10 * 299792458.0 / n);
}

namespace {
// A press, a move with the button held, and a release.
void drag(QWidget *widget, QPoint from, QPoint to)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove,
                     to,
                     widget->mapToGlobal(to),
                     Qt::NoButton,
                     Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to);
}
} // namespace

void TestView::zoomPanAndMarkers()
{
    ViewerWindow window;
    window.resize(1024, 720);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openFiles({write("linear.sor", linear)});
    PlotWidget *plot = window.plot();
    const TracePlot::View whole = plot->view();
    const QRect area = TracePlot::plotArea(plot->rect());
    // The wheel narrows the distance around the cursor.
    const QPoint middle = area.center();
    const double under
        = whole.x0 + (middle.x() - area.left()) * (whole.x1 - whole.x0) / area.width();
    QWheelEvent wheel(middle,
                      plot->mapToGlobal(middle),
                      QPoint(),
                      QPoint(0, 120),
                      Qt::NoButton,
                      Qt::NoModifier,
                      Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(plot, &wheel);
    const TracePlot::View zoomed = plot->view();
    QVERIFY(qAbs((zoomed.x1 - zoomed.x0) - 0.8 * (whole.x1 - whole.x0)) < 1e-6);
    QVERIFY(qAbs(zoomed.x0 + (middle.x() - area.left()) * (zoomed.x1 - zoomed.x0) / area.width()
                 - under)
            < 1e-6);
    // Dragging pans; a double-click shows the whole trace again.
    drag(plot, middle + QPoint(40, 0), middle + QPoint(140, 0));
    QVERIFY(plot->view().x0 < zoomed.x0);
    QTest::mouseDClick(plot, Qt::LeftButton, {}, middle);
    QCOMPARE(plot->view().x1, whole.x1);
    // Marker A is dragged, and lands on a point of the trace.
    const double a = *plot->markers().a;
    const int ax = int(area.left() + (a - whole.x0) / (whole.x1 - whole.x0) * area.width());
    drag(plot, QPoint(ax, middle.y()), QPoint(ax + 100, middle.y()));
    const double moved = *plot->markers().a;
    QVERIFY(moved > a);
    const Sor::Trace trace = Sor::read(SorWriter::write(linear));
    QCOMPARE(TracePlot::snap(trace, moved), moved);
    QCOMPARE(plot->view().x1, whole.x1); // moving a marker does not pan
}

// One fibre's four traces: the other end is offered first, the averaged table shows the gainer's
// true loss; the two wavelengths flag the bend, whichever is chosen first; a pair of unlike
// wavelengths is refused with the reason.
void TestView::compareOneFibre()
{
    ViewerWindow window;
    window.show();
    QStringList files;
    for (const SorWriter::Case &c : SorWriter::twoEndedSamples())
        files << write(c.name, c.trace);
    QCOMPARE(window.openFiles(files), 4); // 1310-ab, 1310-ba, 1550-ab, 1550-ba
    window.select(2);
    QAction *directions = nullptr;
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("Comparar &direções…"))
            directions = action;
    }
    QVERIFY(directions);
    ModalWatcher watcher;
    QStringList offered;
    watcher.push([&offered](QWidget *w) {
        auto *input = qobject_cast<QInputDialog *>(w);
        offered = input->comboBoxItems();
        input->setTextValue(offered.value(0));
        input->accept();
    });
    directions->trigger();
    QCOMPARE(offered, QStringList({"1550-ba.sor", "1310-ab.sor", "1310-ba.sor"}));
    auto *dialog = window.findChild<ComparisonDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    QTableWidget *table = dialog->table();
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("-0,050"));
    QCOMPARE(table->item(0, 3)->text(), QStringLiteral("0,250"));
    QCOMPARE(table->item(0, 4)->text(), QStringLiteral("0,100"));
    QCOMPARE(table->item(0, 6)->text(), QStringLiteral("ambas"));
    dialog->close();

    ComparisonDialog *bends = window.compare(ComparisonDialog::Kind::Wavelengths, 2, 0);
    QVERIFY(bends);
    QStringList flagged;
    for (int r = 0; r < bends->table()->rowCount(); ++r)
        flagged << bends->table()->item(r, 6)->text();
    QCOMPARE(flagged, QStringList({"", "", "", "SIM"}));
    QVERIFY(bends->table()->horizontalHeaderItem(2)->text().contains("1310"));

    QString problem;
    QVERIFY(!window.compare(ComparisonDialog::Kind::Directions, 0, 3, &problem));
    QVERIFY2(problem.contains("os comprimentos de onda diferem"), qPrintable(problem));
    watcher.push([](QWidget *w) {
        auto *input = qobject_cast<QInputDialog *>(w);
        input->setTextValue(QStringLiteral("1310-ab.sor"));
        input->accept();
    });
    directions->trigger();
    QCOMPARE(watcher.seen().size(), 3); // the choice twice, then the refusal
    QCOMPARE(watcher.seen().last().title, QStringLiteral("Comparar direções"));
    QVERIFY(watcher.seen().last().text.contains("Não é possível comparar estes traços"));
}

// The identification typed in the dialog is written to the file, the original kept beside it,
// the panel shows the new value; a damaged file is written only when the user says so.
void TestView::editIdentification()
{
    ViewerWindow window;
    window.show();
    const QString path = write("identificar.sor", linear);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray original = file.readAll();
    file.close();
    QCOMPARE(window.openFiles({path}), 1);
    QAction *edit = nullptr;
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("&Editar identificação…"))
            edit = action;
    }
    QVERIFY(edit);
    ModalWatcher watcher;
    watcher.push([](QWidget *w) {
        w->findChild<QLineEdit *>("cable")->setText(QStringLiteral("CB-77"));
        w->findChild<QLineEdit *>("location-b")->setText(QStringLiteral("POSTE São José"));
        qobject_cast<QDialog *>(w)->accept();
    });
    edit->trigger();
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Editar identificação"));
    const Sor::Trace written = Sor::readFile(path);
    QCOMPARE(written.general->cableId, QStringLiteral("CB-77"));
    QCOMPARE(written.general->locationB, QStringLiteral("POSTE São José"));
    QCOMPARE(written.checksum.state, Sor::ChecksumState::Valid);
    QFile backup(path + ".orig");
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QVERIFY(backup.readAll() == original);
    QVERIFY(window.findChild<QLabel *>("information")->text().contains("CB-77"));

    SorWriter::Trace wrong = linear;
    wrong.checksum = SorWriter::Checksum::Wrong;
    QCOMPARE(window.openFiles({write("danificado.sor", wrong)}), 1);
    Sor::Edits edits;
    edits.fiberId = QStringLiteral("F2");
    QString error;
    QVERIFY(!window.editIdentification(1, edits, false, &error));
    QVERIFY2(error.contains("danificado"), qPrintable(error));
    QVERIFY(!QFile::exists(dir.filePath("danificado.sor.orig")));
    QVERIFY(window.editIdentification(1, edits, true, &error));
    QCOMPARE(Sor::readFile(dir.filePath("danificado.sor")).general->fiberId, QStringLiteral("F2"));
}

// The image, the CSV and the report are never written over a trace: over the open one, or over
// any file named .sor; the trace keeps its bytes and the reason names the file.
void TestView::exportsNeverOverATrace()
{
    ViewerWindow window;
    const QString path = write("kept.sor", linear);
    QCOMPARE(window.openFiles({path}), 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    QString error;
    QVERIFY(!window.exportImage(path, &error));
    QVERIFY2(error.contains("kept.sor"), qPrintable(error));
    QVERIFY(!window.exportCsv(path, &error));
    QVERIFY(!window.exportReport(path, &error));
    QVERIFY(!window.exportImage(dir.filePath("other.sor"), &error));
    QVERIFY(!QFileInfo::exists(dir.filePath("other.sor")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QVERIFY(window.exportImage(dir.filePath("kept.png"), &error));
}

// Delete in the event table leaves the traces alone; in the list of traces it closes the chosen
// one, the others keep their colours, and the closed one is opened again from the recent files.
void TestView::deleteActsOnFocus()
{
    ViewerWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        SorWriter::Trace t = linear;
        t.wavelength = quint16(13100 + 100 * i);
        files << write(QStringLiteral("w%1.sor").arg(i), t);
    }
    QCOMPARE(window.openFiles(files), 3);
    auto *list = window.findChild<QListWidget *>("traces");
    auto *events = window.findChild<QTableWidget *>("events");
    const auto colours = [&] {
        QMap<QString, QColor> byName;
        for (int i = 0; i < list->count(); ++i)
            byName[list->item(i)->text()]
                = list->item(i)->icon().pixmap(14).toImage().pixelColor(7, 7);
        return byName;
    };
    const QMap<QString, QColor> before = colours();
    QCOMPARE(before.size(), 3);
    QCOMPARE(QSet<QRgb>({before.value("w0.sor").rgb(),
                         before.value("w1.sor").rgb(),
                         before.value("w2.sor").rgb()})
                 .size(),
             3);

    window.activateWindow();
    events->setFocus();
    QTRY_VERIFY(events->hasFocus());
    QTest::keyClick(events, Qt::Key_Delete);
    QCOMPARE(window.traceCount(), 3);

    window.select(0);
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(window.traceCount(), 2);
    QMap<QString, QColor> after = colours();
    QCOMPARE(after.keys(), QStringList({"w1.sor", "w2.sor"}));
    QCOMPARE(after.value("w1.sor"), before.value("w1.sor"));
    QCOMPARE(after.value("w2.sor"), before.value("w2.sor"));

    QCOMPARE(window.recentFiles().value(0), QFileInfo(files.at(0)).absoluteFilePath());
    auto *recent = window.findChild<QMenu *>("recent");
    QVERIFY(recent);
    emit recent->aboutToShow();
    QVERIFY(!recent->actions().isEmpty());
    QCOMPARE(recent->actions().first()->text(), QStringLiteral("&1 w0.sor"));
    recent->actions().first()->trigger();
    QCOMPARE(window.traceCount(), 3);
    // Opened again, it takes the free colour: the one it had.
    QCOMPARE(colours().value("w0.sor"), before.value("w0.sor"));
}

// Within the menu bar and within each menu, no two entries answer to the same Alt letter.
void TestView::mnemonicsDiffer()
{
    ViewerWindow window;
    const auto letter = [](const QString &text) {
        const int at = text.indexOf(QLatin1Char('&'));
        return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toLower() : QChar();
    };
    QStringList seen;
    QList<QChar> bar;
    for (QAction *menuAction : window.menuBar()->actions()) {
        const QChar key = letter(menuAction->text());
        QVERIFY2(!key.isNull() && !bar.contains(key), qPrintable(menuAction->text()));
        bar.append(key);
        QList<QChar> keys;
        for (QAction *action : menuAction->menu()->actions()) {
            if (action->isSeparator())
                continue;
            const QChar k = letter(action->text());
            QVERIFY2(!k.isNull(), qPrintable(action->text()));
            QVERIFY2(!keys.contains(k), qPrintable(menuAction->text() + " › " + action->text()));
            keys.append(k);
            seen << action->text();
        }
    }
    QVERIFY(seen.contains(QStringLiteral("&Reanalisar…")));
    QVERIFY(seen.contains(QStringLiteral("&Atalhos…")));
}

// The re-analysis dialog's values are written with the decimal comma.
void TestView::decimalComma()
{
    ViewerWindow window;
    window.show();
    QCOMPARE(window.openFiles({write("comma.sor", linear)}), 1);
    QAction *reanalyse = nullptr;
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == QStringLiteral("&Reanalisar…"))
            reanalyse = action;
    QVERIFY(reanalyse);
    QStringList texts;
    ModalWatcher watcher;
    watcher.push([&texts](QWidget *dialog) {
        for (const char *name : {"loss", "reflectance", "end"})
            texts << dialog->findChild<QDoubleSpinBox *>(name)->text();
        ModalWatcher::dismiss(dialog);
    });
    reanalyse->trigger();
    QCOMPARE(texts.size(), 3);
    QVERIFY2(texts.at(0).contains(QLatin1Char(',')) && !texts.at(0).contains(QLatin1Char('.')),
             qPrintable(texts.join('|')));
    QVERIFY2(texts.at(1).contains(QLatin1Char(',')), qPrintable(texts.join('|')));
}

// +/− zoom around marker A, arrows move the active marker by a point or (Shift) a division, Tab
// makes the other one active, Home shows everything; the shortcuts are listed in Ajuda.
void TestView::keyboard()
{
    ViewerWindow window;
    window.resize(1024, 720);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openFiles({write("keys.sor", linear)});
    PlotWidget *plot = window.plot();
    window.activateWindow();
    plot->setFocus();
    QTRY_VERIFY(plot->hasFocus());
    const TracePlot::View whole = plot->view();
    const double a = *plot->markers().a;
    const double b = *plot->markers().b;

    QTest::keyClick(plot, Qt::Key_Right);
    QVERIFY(std::abs(*plot->markers().a - a - 5.0) < 0.01); // one point: 5 m
    QTest::keyClick(plot, Qt::Key_Left);
    QCOMPARE(*plot->markers().a, a);
    QTest::keyClick(plot, Qt::Key_Right, Qt::ShiftModifier);
    QVERIFY(plot->division() >= 1000);
    QVERIFY2(std::abs(*plot->markers().a - a - plot->division()) <= 5.0,
             qPrintable(QString::number(*plot->markers().a - a)));
    QTest::keyClick(plot, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(*plot->markers().a, a);

    QTest::keyClick(plot, Qt::Key_Tab);
    QVERIFY(plot->hasFocus());
    QCOMPARE(plot->markers().active, 1);
    QTest::keyClick(plot, Qt::Key_Right);
    QVERIFY(std::abs(*plot->markers().b - b - 5.0) < 0.01);
    QCOMPARE(*plot->markers().a, a);

    QTest::keyClick(plot, Qt::Key_Plus);
    const TracePlot::View in = plot->view();
    QVERIFY(std::abs((in.x1 - in.x0) - (whole.x1 - whole.x0) / 2) < 1e-6);
    // Around A: it keeps its place across the plot.
    QVERIFY(std::abs((a - in.x0) / (in.x1 - in.x0) - (a - whole.x0) / (whole.x1 - whole.x0))
            < 1e-9);
    // The level axis follows: half the fibre spans about half the levels.
    QVERIFY(in.y1 - in.y0 < 0.7 * (whole.y1 - whole.y0));
    QTest::keyClick(plot, Qt::Key_Minus);
    QVERIFY(std::abs((plot->view().x1 - plot->view().x0) - (whole.x1 - whole.x0)) < 1e-6);
    // Out no further than the data.
    QTest::keyClick(plot, Qt::Key_Minus);
    QVERIFY(plot->view().x0 >= whole.x0 - 1e-6 && plot->view().x1 <= whole.x1 + 1e-6);
    // Zoomed in around A, a jump of B far away takes the view there, its levels with it.
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(plot, Qt::Key_Plus);
    plot->setMarker(1, whole.x1 - 100);
    QCOMPARE(plot->markers().active, 1);
    QTest::keyClick(plot, Qt::Key_Left);
    const double atB = *plot->markers().b;
    QVERIFY(plot->view().x0 <= atB && atB <= plot->view().x1);
    const double levelB = TracePlot::levelAt(window.traces().at(0).trace, atB);
    QVERIFY2(plot->view().y0 < levelB && levelB < plot->view().y1,
             qPrintable(QStringLiteral("%1 outside %2…%3")
                            .arg(levelB)
                            .arg(plot->view().y0)
                            .arg(plot->view().y1)));
    QTest::keyClick(plot, Qt::Key_Plus);
    QTest::keyClick(plot, Qt::Key_Home);
    QCOMPARE(plot->view().x0, whole.x0);
    QCOMPARE(plot->view().x1, whole.x1);

    ModalWatcher watcher;
    QStringList keys;
    watcher.push([&keys](QWidget *dialog) {
        auto *table = dialog->findChild<QTableWidget *>("shortcuts");
        for (int r = 0; table && r < table->rowCount(); ++r)
            keys << table->item(r, 0)->text();
        ModalWatcher::dismiss(dialog);
    });
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == QStringLiteral("&Atalhos…"))
            action->trigger();
    QCOMPARE(watcher.seen().value(0).title, QStringLiteral("Atalhos"));
    for (const char *key : {"Tab", "Home", "Shift + ← →"})
        QVERIFY2(keys.contains(QString::fromUtf8(key)), qPrintable(keys.join('|')));
}

// A comparison window closes with its button and with Escape, even from its plot.
void TestView::comparisonCloses()
{
    ViewerWindow window;
    window.show();
    QStringList files;
    for (const SorWriter::Case &c : SorWriter::twoEndedSamples())
        files << write(c.name, c.trace);
    QCOMPARE(window.openFiles(files), 4);
    for (bool escape : {true, false}) {
        ComparisonDialog *dialog = window.compare(ComparisonDialog::Kind::Directions, 0, 1);
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        if (escape) {
            dialog->activateWindow();
            dialog->plot()->setFocus();
            QTRY_VERIFY(dialog->plot()->hasFocus());
            QTest::keyClick(dialog->plot(), Qt::Key_Escape);
        } else {
            auto *buttons = dialog->findChild<QDialogButtonBox *>();
            QVERIFY(buttons);
            QCOMPARE(buttons->buttons().size(), 1);
            QCOMPARE(buttons->buttons().first()->text(), QStringLiteral("Fechar"));
            buttons->buttons().first()->click();
        }
        QTRY_VERIFY(!dialog->isVisible());
    }
}

// Análise › Limites names each preset for people and shows the values it checks, a JSON file's
// too, before anything is applied; a file that cannot be used says why and applies nothing.
void TestView::limitsShownBeforeApplied()
{
    const auto rows = [](const LimitsDialog &d) {
        QStringList texts;
        for (int r = 0; r < d.table()->rowCount(); ++r)
            texts << d.table()->item(r, 0)->text() + " = " + d.table()->item(r, 1)->text();
        return texts;
    };
    LimitsDialog dialog(std::nullopt);
    auto *presets = dialog.findChild<QComboBox *>("presets");
    QCOMPARE(presets->itemText(0),
             QStringLiteral("Monomodo genérico (TIA-568.3-D, ITU-T G.652.D)"));
    QStringList shown = rows(dialog);
    QVERIFY2(shown.size() >= 4, qPrintable(shown.join('|')));
    QVERIFY2(shown.filter(QRegularExpression("^Perda de emenda máx\\. = \\d+,\\d+ dB$")).size()
                 == 1,
             qPrintable(shown.join('|')));
    QVERIFY2(shown.filter(QRegularExpression("^Atenuação máx\\. em 1550 nm = 0,\\d+ dB/km$")).size()
                 == 1,
             qPrintable(shown.join('|')));
    const int none = presets->findText(QStringLiteral("Sem limites"));
    QVERIFY(none > 0);
    presets->setCurrentIndex(none);
    emit presets->activated(none);
    QCOMPARE(dialog.table()->rowCount(), 0);
    QVERIFY(dialog.limits() && !dialog.limits()->checksAnything());

    QFile json(dir.filePath("cliente.json"));
    QVERIFY(json.open(QIODevice::WriteOnly));
    json.write(
        R"({"name": "cliente", "splice_loss_max_db": 0.15, "attenuation_max_db_km": {"1310": 0.35}})");
    json.close();
    QVERIFY(dialog.loadFile(json.fileName()));
    QCOMPARE(rows(dialog),
             QStringList(
                 {"Perda de emenda máx. = 0,150 dB", "Atenuação máx. em 1310 nm = 0,350 dB/km"}));
    QFile broken(dir.filePath("quebrado.json"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(R"({"splice_loss_max": 0.15})");
    broken.close();
    QVERIFY(!dialog.loadFile(broken.fileName()));
    QVERIFY(!dialog.limits());
    QCOMPARE(dialog.table()->rowCount(), 0);
    QVERIFY(dialog.findChild<QLabel *>("limitsNote")->text().contains("quebrado.json"));

    // From the menu: the chosen preset judges the events once applied.
    ViewerWindow window;
    window.show();
    const SorWriter::Case c = SorWriter::readerCase(QStringLiteral("whole file, CCITT-FALSE"));
    QCOMPARE(window.openFiles({write("limits.sor", c.trace)}), 1);
    ModalWatcher watcher;
    watcher.push([](QWidget *w) {
        auto *d = qobject_cast<LimitsDialog *>(w);
        QVERIFY(d);
        auto *box = d->findChild<QComboBox *>("presets");
        const int gpon = box->findText(QStringLiteral("GPON classe B+ (ITU-T G.984.2, 28 dB)"));
        box->setCurrentIndex(gpon);
        emit box->activated(gpon);
        d->accept();
    });
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == QStringLiteral("&Limites…"))
            action->trigger();
    QCOMPARE(watcher.seen().size(), 1);
    QVERIFY(!window.findChild<QTableWidget *>("events")->item(0, 6)->text().isEmpty());
}

// "Exportar relatório PDF…" asks for the title, company, operator and logo first; the pages
// carry them, and the next report offers them again.
void TestView::reportHeadingAskedAndKept()
{
    ViewerWindow window;
    window.show();
    QCOMPARE(window.openFiles({write("heading.sor", linear)}), 1);
    QImage logo(120, 40, QImage::Format_RGB32);
    logo.fill(Qt::darkBlue);
    const QString logoPath = dir.filePath("logo.png");
    QVERIFY(logo.save(logoPath));
    QAction *report = nullptr;
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == QStringLiteral("Exportar relatório &PDF…"))
            report = action;
    QVERIFY(report);
    const QString pdf = dir.filePath("cabecalho.pdf");
    ModalWatcher watcher;
    watcher.push([&](QWidget *dialog) {
        dialog->findChild<QLineEdit *>("reportTitle")->setText("Cabo ELM-MIL");
        dialog->findChild<QLineEdit *>("reportCompany")->setText("ACME Redes");
        dialog->findChild<QLineEdit *>("reportOperator")->setText("J. Silva");
        dialog->findChild<QLineEdit *>("reportLogo")->setText(logoPath);
        qobject_cast<QDialog *>(dialog)->accept();
    });
    watcher.push(ModalWatcher::chooseFile(pdf));
    report->trigger();
    QTRY_VERIFY(QFileInfo::exists(pdf));
    QCOMPARE(watcher.seen().size(), 2);
    QCOMPARE(watcher.seen().first().title, QStringLiteral("Exportar relatório PDF"));
    QStringList offered;
    watcher.push([&offered](QWidget *dialog) {
        for (const char *name : {"reportTitle", "reportCompany", "reportOperator", "reportLogo"})
            offered << dialog->findChild<QLineEdit *>(name)->text();
        ModalWatcher::dismiss(dialog);
    });
    report->trigger();
    QCOMPARE(offered, QStringList({"Cabo ELM-MIL", "ACME Redes", "J. Silva", logoPath}));
    QCOMPARE(watcher.seen().size(), 3); // cancelled: no file asked for

    if (QStandardPaths::findExecutable("pdftotext").isEmpty()) // as under Wine
        QSKIP("pdftotext (poppler-utils) reads the report back");
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    QVERIFY(tool.waitForFinished(30000));
    const QString text = QString::fromUtf8(tool.readAllStandardOutput());
    for (const char *said : {"Cabo ELM-MIL",
                             "ACME Redes",
                             "J. Silva",
                             "página 1 de 2",
                             "página 2 de 2",
                             "íntegro, soma conferida"})
        QVERIFY2(text.contains(QString::fromUtf8(said)), qPrintable(text));
    // The logo is drawn: the PDF holds an image.
    QProcess images;
    images.start(QStringLiteral("pdfimages"), {"-list", pdf});
    QVERIFY(images.waitForFinished(30000));
    QVERIFY(QString::fromUtf8(images.readAllStandardOutput()).count(QStringLiteral(" image "))
            >= 2);
}

// A folder of a cable's traces: the matrix per wavelength, the fibres; a cell chosen shows that
// closure beside the matrix, the fibre's two ends on A's axis, replacing the one before; the
// limits chosen there colour the matrix; the viewer opens the closure's traces when asked.
void TestView::cableProject()
{
    QDir(dir.path()).mkdir("cabo");
    const QString folder = dir.filePath("cabo");
    for (int i = 1; i <= 4; ++i) {
        const SorWriter::CableEnds ends = SorWriter::cableFibre(i);
        QFile a(QStringLiteral("%1/F0%2-a.sor").arg(folder).arg(i));
        QVERIFY(a.open(QIODevice::WriteOnly));
        a.write(SorWriter::write(ends.a));
        QFile b(QStringLiteral("%1/F0%2-b.sor").arg(folder).arg(i));
        QVERIFY(b.open(QIODevice::WriteOnly));
        b.write(SorWriter::write(ends.b));
    }
    ViewerWindow window;
    window.resize(1024, 720);
    window.show();
    CableWindow *cable = window.openCableProject(folder);
    QVERIFY(cable && cable->isVisible());
    QTableWidget *matrix = cable->matrix(1550);
    QVERIFY(matrix);
    QCOMPARE(matrix->rowCount(), 4);
    QCOMPARE(matrix->columnCount(), 3);
    QCOMPARE(matrix->verticalHeaderItem(1)->text(), QStringLiteral("F02"));
    QVERIFY(matrix->horizontalHeaderItem(2)->text().startsWith("C3"));
    // Fibre 2's first splice: 0.12 dB from A, 0.08 dB from B.
    QCOMPARE(matrix->item(1, 0)->text(), QStringLiteral("0,100"));
    QCOMPARE(cable->fibres()->rowCount(), 4);
    QVERIFY(cable->findChild<QListWidget *>("cableChecks")->item(0)->text().endsWith("nenhuma"));
    QVERIFY(cable->findChild<QLabel *>("cableLegend")->text().startsWith("* medida nos pontos"));

    QVERIFY(QTest::qWaitForWindowExposed(cable));
    QTest::mouseClick(matrix->viewport(),
                      Qt::LeftButton,
                      {},
                      matrix->visualItemRect(matrix->item(1, 1)).center());
    // Nothing is added to the viewer: the closure is shown here.
    QCOMPARE(window.traceCount(), 0);
    const Cable::ClosureTraces &shown = cable->closure();
    QVERIFY2(shown.problem.isEmpty(), qPrintable(shown.problem));
    QCOMPARE(shown.nameA, QStringLiteral("F02-a.sor"));
    QVERIFY(shown.a && shown.b);
    QVERIFY(std::abs(shown.atM - 14000) <= shown.toleranceM);
    // B's own flag at the closure lies where A's does: the far end is mirrored onto A's axis.
    const auto nearest = [&](const Sor::Trace &t) {
        double best = 1e12;
        for (const Sor::Event &e : t.keyEvents->events)
            best = std::min(best, std::abs(e.distanceM - shown.atM));
        return best;
    };
    QVERIFY(nearest(*shown.a) <= shown.toleranceM);
    QVERIFY2(nearest(*shown.b) <= shown.toleranceM, qPrintable(QString::number(nearest(*shown.b))));
    // B's levels meet A's just before the closure.
    const double before = shown.atM - 3 * 45;
    QVERIFY(std::abs(TracePlot::levelAt(*shown.a, before) - TracePlot::levelAt(*shown.b, before))
            < 0.3);
    const TracePlot::View view = cable->closurePlot()->view();
    QVERIFY(view.x0 < 14000 && view.x1 > 14000 && view.x1 - view.x0 < 5000);
    QVERIFY(std::abs(*cable->closurePlot()->markers().a - shown.atM) < 5);
    const QString said = cable->findChild<QLabel *>("closureDetails")->text();
    for (const char *word : {"A→B", "B→A", "Média", "Limite", "Veredito", "achado no arquivo"})
        QVERIFY2(said.contains(QString::fromUtf8(word)), qPrintable(said));
    // Another cell replaces it.
    QTest::mouseClick(matrix->viewport(),
                      Qt::LeftButton,
                      {},
                      matrix->visualItemRect(matrix->item(2, 0)).center());
    QCOMPARE(cable->closure().nameA, QStringLiteral("F03-a.sor"));
    QVERIFY(std::abs(cable->closure().atM - 6000) <= shown.toleranceM);
    // Limits chosen here: the connector's 0.40 dB passes as a connector, in the connectors' own
    // colour that the legend names, never as a splice; the closure shown is judged again.
    cable->setLimits(*Acceptance::preset(QStringLiteral("monomodo-generico")));
    matrix = cable->matrix(1550);
    QCOMPARE(matrix->item(0, 0)->background().color(), QColor(0xc6, 0xef, 0xce));
    QCOMPARE(matrix->item(0, 2)->background().color(), QColor(0xc9, 0xdd, 0xf2));
    QVERIFY(matrix->horizontalHeaderItem(2)->text().startsWith("C3 conector"));
    QVERIFY(cable->findChild<QLabel *>("cableLegend")
                ->text()
                .contains(QString::fromUtf8("azul: conector (C) dentro do limite de conector")));
    QVERIFY(cable->findChild<QLabel *>("cableLimits")->text().contains("Monomodo genérico"));
    QCOMPARE(cable->closure().nameA, QStringLiteral("F03-a.sor"));
    QVERIFY(cable->findChild<QLabel *>("closureDetails")->text().contains("APROVADO"));
    // The closure's flags are the matrix's numbers: closure 1 at 6 km on both ends.
    const Cable::ClosureTraces &now = cable->closure();
    for (const auto &[trace, flags] :
         {std::make_pair(&*now.a, now.flagsA), std::make_pair(&*now.b, now.flagsB)}) {
        QCOMPARE(flags.size(), trace->keyEvents->events.size());
        for (int i = 0; i < flags.size(); ++i) {
            if (std::abs(trace->keyEvents->events.at(i).distanceM - 6000) <= now.toleranceM)
                QCOMPARE(flags.at(i), QStringLiteral("1"));
            if (std::abs(trace->keyEvents->events.at(i).distanceM - 20000) <= now.toleranceM)
                QCOMPARE(flags.at(i), QStringLiteral("C3"));
        }
    }
    // The viewer opens the closure's traces when asked, A first, around the closure; B mirrored
    // onto A's axis as the closure's view draws it, and said so.
    cable->findChild<QPushButton *>("openInViewer")->click();
    QCOMPARE(window.traceCount(), 2);
    QCOMPARE(window.traces().at(window.selected()).path, folder + "/F03-a.sor");
    QVERIFY(std::abs(*window.plot()->markers().a - 6000) < 50);
    const int far = window.traces().at(0).path.endsWith("F03-b.sor") ? 0 : 1;
    const TraceSet::Open &b = window.traces().at(far);
    QVERIFY(b.path.endsWith("F03-b.sor"));
    // B's own splice there, as A's: near 6 km, not at 22 km.
    double closest = 1e12;
    for (const Sor::Event &e : b.drawn().keyEvents->events)
        closest = std::min(closest, std::abs(e.distanceM - 6000));
    QVERIFY2(closest <= now.toleranceM, qPrintable(QString::number(closest)));
    QVERIFY(window.findChild<QListWidget *>("traces")->item(far)->text().contains("espelhado"));
    QVERIFY(std::abs(TracePlot::levelAt(b.drawn(), 5500) - TracePlot::levelAt(*now.b, 5500))
            < 1e-9);
}

// The cable window's Limites… is the main window's dialog behaving the same way: with no limits
// chosen it shows the first preset and its values, and Aplicar applies what it shows; with limits
// chosen, those.
void TestView::cableLimitsDialog()
{
    QDir(dir.path()).mkdir("cabo-limites");
    const QString folder = dir.filePath("cabo-limites");
    for (int i = 1; i <= 2; ++i) {
        const SorWriter::CableEnds ends = SorWriter::cableFibre(i);
        write(QStringLiteral("cabo-limites/F0%1-a.sor").arg(i), ends.a);
        write(QStringLiteral("cabo-limites/F0%1-b.sor").arg(i), ends.b);
    }
    ViewerWindow window;
    window.show();
    CableWindow *cable = window.openCableProject(folder);
    QVERIFY(!cable->limits());
    QString offered;
    int rows = 0;
    ModalWatcher watcher;
    watcher.push([&](QWidget *w) {
        auto *d = qobject_cast<LimitsDialog *>(w);
        QVERIFY(d);
        offered = d->findChild<QComboBox *>("presets")->currentText();
        rows = d->table()->rowCount();
        d->accept();
    });
    cable->findChild<QPushButton *>("chooseLimits")->click();
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(offered, QStringLiteral("Monomodo genérico (TIA-568.3-D, ITU-T G.652.D)"));
    QVERIFY2(rows >= 4, qPrintable(QString::number(rows)));
    // Aplicar applied what was shown.
    QVERIFY(cable->limits() && cable->limits()->checksAnything());
    QVERIFY2(cable->findChild<QLabel *>("cableLimits")->text().contains("Monomodo genérico"),
             qPrintable(cable->findChild<QLabel *>("cableLimits")->text()));
    QCOMPARE(cable->matrix(1550)->item(0, 0)->background().color(), QColor(0xc6, 0xef, 0xce));
    // Opened again, it shows the limits in use; "Sem limites" chosen there is applied as such.
    watcher.push([&](QWidget *w) {
        auto *d = qobject_cast<LimitsDialog *>(w);
        auto *box = d->findChild<QComboBox *>("presets");
        offered = box->currentText();
        const int none = box->findText(QStringLiteral("Sem limites"));
        box->setCurrentIndex(none);
        emit box->activated(none);
        d->accept();
    });
    cable->findChild<QPushButton *>("chooseLimits")->click();
    QCOMPARE(offered, QStringLiteral("Monomodo genérico (TIA-568.3-D, ITU-T G.652.D)"));
    QVERIFY(cable->limits() && !cable->limits()->checksAnything());
    QCOMPARE(cable->findChild<QLabel *>("cableLimits")->text(), QStringLiteral("Limites: nenhum"));
    QCOMPARE(cable->matrix(1550)->item(0, 0)->background(), QBrush());
    // A client's file in use is offered as such, with its values.
    Acceptance::Limits client
        = *Acceptance::parseLimits(R"({"name": "cliente", "splice_loss_max_db": 0.2})", nullptr);
    cable->setLimits(client);
    watcher.push([&](QWidget *w) {
        auto *d = qobject_cast<LimitsDialog *>(w);
        offered = d->findChild<QComboBox *>("presets")->currentText();
        rows = d->table()->rowCount();
        ModalWatcher::dismiss(d);
    });
    cable->findChild<QPushButton *>("chooseLimits")->click();
    QCOMPARE(offered, QStringLiteral("cliente (em uso)"));
    QCOMPARE(rows, 1);
    QCOMPARE(cable->limits()->name, QStringLiteral("cliente"));
}

// An empty window says how to open traces; a long name keeps its start and end, whole on
// hover; a file written says where it is, with a way to its folder.
void TestView::savedFilesAndAnEmptyWindow()
{
    ViewerWindow window;
    window.resize(1024, 720);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The middle of the empty plot holds the hint's text, not a blank frame.
    const QImage empty = window.plot()->grab().toImage();
    int dark = 0;
    for (int x = 0; x < empty.width(); ++x)
        dark += qGray(empty.pixel(x, empty.height() / 2)) < 100 ? 1 : 0;
    for (int dy = -12; dy <= 12; dy += 3)
        for (int x = 0; x < empty.width(); ++x)
            dark += qGray(empty.pixel(x, empty.height() / 2 + dy)) < 100 ? 1 : 0;
    QVERIFY2(dark > 20, qPrintable(QString::number(dark)));
    QVERIFY(window.findChild<QLabel *>("information")->text().contains("Ctrl+O"));

    const QString name = QStringLiteral("ROTA-NORTE-CENTRAL-POSTE-0147-FIBRA-0012_1550.sor");
    window.openFiles({write(name, linear)});
    auto *list = window.findChild<QListWidget *>("traces");
    QCOMPARE(list->textElideMode(), Qt::ElideMiddle);
    QVERIFY(list->item(0)->toolTip().startsWith(name));
    auto *saved = window.findChild<QLabel *>("saved");
    auto *folder = window.findChild<QPushButton *>("openFolder");
    QVERIFY(saved && folder);
    QVERIFY(!saved->isVisible() && !folder->isVisible());
    const QString png = dir.filePath("salvo.png");
    ModalWatcher watcher;
    watcher.push(ModalWatcher::chooseFile(png));
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == QStringLiteral("Exportar &imagem (PNG)…"))
            action->trigger();
    QVERIFY(QFileInfo::exists(png));
    QVERIFY(saved->isVisible() && folder->isVisible());
    QVERIFY2(saved->text().contains(QDir::toNativeSeparators(png)), qPrintable(saved->text()));
}

// With a route, marker A's read-out says where it lies in the street, calibrated on the trace's
// own closures; the KML of the trace's places is written; a route that cannot be read is named.
void TestView::routeInTheReadout()
{
    // Splices at 3 and 7 km of fibre: closures at 2970.3 and 6930.7 m of route (1 %).
    SorWriter::Simulation s;
    s.spacingM = 2;
    s.points = 6000;
    s.pulseNs = 100;
    s.launchSnrDb = 34;
    s.events = {{SorWriter::TrueEvent::Step, 3000, 0.2},
                {SorWriter::TrueEvent::Step, 7000, 0.2},
                {SorWriter::TrueEvent::End, 10000, 0, -14}};
    const QString trace = write("rota.sor", SorWriter::simulatedTrace(s, true));
    QFile csv(dir.filePath("rota.csv"));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("nome;tipo;distancia_m;lat;lon;reserva_m\n"
              "ORIGEM;origem;0;-23,5;-46,6;0\n"
              "CEO-01;emenda;2970,3;;;0\n"
              "P-05;poste;5000;;;0\n"
              "CEO-02;emenda;6930,7;;;0\n"
              "FIM;caixa;9900,99;-23,41;-46,6;0\n");
    csv.close();
    ViewerWindow window;
    window.show();
    window.openFiles({trace});
    auto *readout = window.findChild<QLabel *>("readout");
    auto *kml = window.findChild<QPushButton *>("exportKml");
    QVERIFY(kml && !kml->isVisible());
    QString error;
    QVERIFY(!window.loadRoute(dir.filePath("nada.csv"), &error));
    QVERIFY2(error.contains("nada.csv: arquivo não encontrado"), qPrintable(error));
    QVERIFY2(window.loadRoute(csv.fileName(), &error), qPrintable(error));
    QVERIFY(kml->isVisible());
    // 6 km of fibre: 5940.6 m of route, 940.6 m past P-05.
    window.plot()->setMarker(0, 6000);
    window.plot()->setMarker(1, 8000);
    const QString said = readout->text();
    QVERIFY2(said.contains("Na rota") && said.contains("941 m depois de P-05")
                 && said.contains("990 m antes de CEO-02"),
             qPrintable(said));
    const QString out = dir.filePath("lugares.kml");
    QVERIFY2(window.exportKml(out, &error), qPrintable(error));
    const Route::Read back = Route::readRoute(out);
    QVERIFY2(back.route && back.route->points.size() == 5, qPrintable(back.error));
    QVERIFY(!window.exportKml(trace, &error)); // never over a trace
    QVERIFY2(said.contains("rota.csv: CSV, separador ';', vírgula decimal, UTF-8"),
             qPrintable(said));
    // Past the fibre's end (10 km) there is no fibre to place.
    window.plot()->setMarker(0, 11000);
    QVERIFY2(readout->text().contains("A está além do fim da fibra (10,0000 km): não localizado")
                 && !readout->text().contains("Distância na rota"),
             qPrintable(readout->text()));
    // A trace of another cable: the route is not its.
    SorWriter::Trace other = SorWriter::simulatedTrace(s, true);
    other.cableId = "OUTRO";
    window.openFiles({write("outro.sor", other)});
    window.select(1);
    window.plot()->setMarker(0, 6000);
    QVERIFY2(readout->text().contains("a rota foi aberta para o cabo CABO, e este traço é do cabo "
                                      "OUTRO: não localizado")
                 && !readout->text().contains("Distância na rota"),
             qPrintable(readout->text()));
    QVERIFY(!window.exportKml(dir.filePath("outro.kml"), &error));
    QVERIFY2(error.contains("cabo OUTRO"), qPrintable(error));
    // Its own trace again: placed.
    window.select(0);
    window.plot()->setMarker(0, 6000);
    QVERIFY2(readout->text().contains("941 m depois de P-05"), qPrintable(readout->text()));
}

// The selected trace against its as-built: both overlaid, the difference under them, and the
// change listed; a baseline that cannot be read is named.
void TestView::baselineCompared()
{
    SorWriter::Simulation s;
    s.spacingM = 2;
    s.points = 8000;
    s.pulseNs = 100;
    s.launchSnrDb = 36;
    s.seed = 3;
    s.events
        = {{SorWriter::TrueEvent::Step, 4000, 0.1}, {SorWriter::TrueEvent::End, 12000, 0, -14}};
    const QString base = write("base.sor", SorWriter::simulatedTrace(s, true));
    SorWriter::Simulation later = s;
    later.seed = 4;
    later.events.insert(1, SorWriter::TrueEvent(SorWriter::TrueEvent::Step, 7000, 0.4));
    SorWriter::Trace stored = SorWriter::simulatedTrace(s, true); // its table as built
    stored.data = SorWriter::simulatedTrace(later, false).data;   // its points with a new bend
    const QString now = write("agora.sor", stored);
    ViewerWindow window;
    window.show();
    window.openFiles({now});
    QString problem;
    QVERIFY(!window.compareWithBaseline(0, dir.filePath("nada.sor"), &problem));
    QVERIFY2(problem.contains("nada.sor"), qPrintable(problem));
    BaselineDialog *dialog = window.compareWithBaseline(0, base, &problem);
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(dialog->comparison().changed());
    QCOMPARE(dialog->changes()->count(), 1);
    QVERIFY2(dialog->changes()->item(0)->text().contains(
                 QRegularExpression("a 7,0\\d+ km, só nos pontos: perda \\+0,(3[6-9]|4[0-4]) dB")),
             qPrintable(dialog->changes()->item(0)->text()));
    QVERIFY(dialog->findChild<QLabel *>("baselineVerdict")->text().contains("mudou"));
    // The difference's plot spans it: about 0 before 7 km, about −0.4 dB after.
    const TracePlot::View v = dialog->differencePlot()->view();
    QVERIFY(v.y0 < -0.3 && v.y1 > 0 && v.y1 - v.y0 < 3);
    dialog->close();
    // Another fibre's trace as the baseline: refused with why; asked from the menu, the user may
    // compare them anyway.
    SorWriter::Trace stranger = SorWriter::simulatedTrace(s, true);
    stranger.fiberId = "F77";
    const QString strangerPath = write("outra-fibra.sor", stranger);
    QVERIFY(!window.compareWithBaseline(0, strangerPath, &problem));
    QVERIFY2(problem.startsWith("são fibras diferentes (fibra F77 e fibra F01)"),
             qPrintable(problem));
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        ModalWatcher watcher;
        watcher.push(ModalWatcher::chooseFile(strangerPath));
        watcher.push([answer](QWidget *box) {
            qobject_cast<QMessageBox *>(box)->button(answer)->click();
        });
        // The dialogs shown (a closed one waits to be deleted).
        const auto shown = [&window] {
            const auto all = window.findChildren<BaselineDialog *>();
            return int(std::count_if(
                all.cbegin(), all.cend(), [](const QWidget *w) { return w->isVisible(); }));
        };
        const int before = shown();
        for (QAction *action : window.findChildren<QAction *>())
            if (action->text() == QStringLiteral("Comparar com linha de &base…"))
                action->trigger();
        QTRY_COMPARE(watcher.seen().size(), 2);
        QCOMPARE(watcher.seen().at(1).title, QStringLiteral("Comparar com linha de base"));
        QVERIFY2(watcher.seen().at(1).text.startsWith(
                     "Estes traços não parecem uma fibra medida da mesma ponta: são fibras "
                     "diferentes (fibra F77 e fibra F01).")
                     && watcher.seen().at(1).text.endsWith("Comparar assim mesmo?"),
                 qPrintable(watcher.seen().at(1).text));
        QCOMPARE(shown(), before + (answer == QMessageBox::Yes ? 1 : 0));
    }
    BaselineDialog *forced = window.compareWithBaseline(0, strangerPath, &problem, true);
    QVERIFY(forced);
    QVERIFY(forced->comparison().notes.join(' ').contains("comparados por --force"));
}

#ifdef OTDR_HAVE_ARCHIVE
// The archive's search finds a fibre's traces; the history opens them all, overlaid, the
// as-built first; a trace whose file is gone is shown but not opened.
void TestView::archiveSearched()
{
    QTemporaryDir folder;
    const auto labelled
        = [&](const QString &name, const QByteArray &fibre, const QByteArray &bc, quint32 when) {
              SorWriter::Trace t = linear;
              t.cableId = "ELM-MIL";
              t.fiberId = fibre;
              t.buildCondition = bc;
              t.dateTime = when;
              QFile file(folder.filePath(name));
              QVERIFY(file.open(QIODevice::WriteOnly));
              file.write(SorWriter::write(t));
          };
    labelled("f07-2026.sor", "F07", "CC", 1780000000);
    labelled("f07-asbuilt.sor", "F07", "BC", 1700000000);
    labelled("f07-2025.sor", "F07", "RC", 1750000000);
    labelled("f08.sor", "F08", "BC", 1700000000);
    labelled("f07-lost.sor", "F07", "CC", 1760000000);
    ViewerWindow window;
    window.show();
    ArchiveDialog *dialog = window.showArchive(dir.filePath("arquivo.sqlite"));
    QVERIFY(dialog);
    QCOMPARE(dialog->addFolder(folder.path()).newTraces, 5);
    QVERIFY(QFile::remove(folder.filePath("f07-lost.sor")));
    QCOMPARE(dialog->addFolder(folder.path()).gone, 1);
    // One gone file is said in the singular, in the command line's words.
    QVERIFY2(dialog->status().contains("; 1 sumiu"), qPrintable(dialog->status()));
    dialog->fibreField()->setText("F07");
    QVERIFY(dialog->search());
    QCOMPARE(dialog->table()->rowCount(), 4);
    QVERIFY2(dialog->status().contains("4 traço"), qPrintable(dialog->status()));
    dialog->table()->selectRow(0);
    const QStringList history = dialog->historyPaths();
    QCOMPARE(history.size(), 3);
    QVERIFY(history.first().endsWith("f07-asbuilt.sor"));
    // What was open goes: the history is seen alone.
    window.openFiles({write("outro-traco.sor", linear)});
    QCOMPARE(window.traceCount(), 1);
    dialog->findChild<QPushButton *>("archiveHistory")->click();
    QCOMPARE(window.traceCount(), 3);
    for (int i = 0; i < window.traceCount(); ++i)
        QVERIFY(!window.traces().at(i).path.endsWith("outro-traco.sor"));
    // A search for what is not there leaves an empty table that says so.
    dialog->fibreField()->setText("F99");
    QVERIFY(dialog->search());
    QCOMPARE(dialog->table()->rowCount(), 0);
    QVERIFY2(dialog->status().startsWith("0 traço"), qPrintable(dialog->status()));
    // Another archive file, opened in its place: its traces, its name shown.
    QTemporaryDir elsewhere;
    labelled("f09.sor", "F09", "BC", 1700000000);
    QDir().mkpath(elsewhere.filePath("so-f09"));
    QVERIFY(QFile::rename(folder.filePath("f09.sor"), elsewhere.filePath("so-f09/f09.sor")));
    const QString second = elsewhere.filePath("outro.sqlite");
    {
        QString why;
        auto archive = Archive::Archive::open(second, &why);
        QVERIFY2(archive, qPrintable(why));
        QCOMPARE(archive->add({elsewhere.filePath("so-f09")}).newTraces, 1);
    }
    dialog->fibreField()->clear();
    {
        ModalWatcher watcher;
        watcher.push(ModalWatcher::chooseFile(second));
        dialog->findChild<QPushButton *>("archiveOther")->click();
        QTRY_COMPARE(dialog->table()->rowCount(), 1);
    }
    QCOMPARE(dialog->table()->item(0, 2)->text(), QStringLiteral("F09"));
    QVERIFY2(dialog->findChild<QLabel *>("archiveName")->text().endsWith(second),
             qPrintable(dialog->findChild<QLabel *>("archiveName")->text()));
    // A file that is no archive: said, and the one open stays.
    QVERIFY(!dialog->openArchive(write("texto.sqlite", linear)));
    QVERIFY2(dialog->status().startsWith("Não foi possível abrir"), qPrintable(dialog->status()));
    QVERIFY(dialog->search());
    QCOMPARE(dialog->table()->rowCount(), 1);
}
#endif

QTEST_MAIN(TestView)
#include "tst_view.moc"
