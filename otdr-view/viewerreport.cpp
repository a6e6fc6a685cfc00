#include "viewerwindow.h"

#include "limitsdialog.h"
#include "report/report.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

// The viewer's limits: each event's verdict in the table, and the report of the open traces.

void ViewerWindow::setLimits(const std::optional<Acceptance::Limits> &chosen)
{
    limits = chosen;
    showSelected();
}

QStringList ViewerWindow::eventVerdicts(const Sor::Trace &trace) const
{
    QStringList verdicts;
    if (!limits)
        return verdicts;
    const Acceptance::Judgement j = Acceptance::judge(Acceptance::fileLink(trace), *limits);
    for (const Acceptance::JudgedEvent &e : j.events)
        verdicts << (e.end ? QString()
                           : Acceptance::eventVerdictText(e, *limits, trace.wavelengthNm));
    return verdicts;
}

bool ViewerWindow::exportReport(const QString &path, QString *error) const
{
    const QString problem = outputProblem(path);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    QStringList paths;
    for (const auto &d : documents)
        paths << d->path;
    Report::Options options;
    options.limits = limits.value_or(*Acceptance::preset(QStringLiteral("sem limites")));
    QVector<Report::Entry> entries = Report::judgeFiles(paths, options);
    const QVector<Report::Fibre> fibres = Report::pairFibres(entries, options);
    return Report::writePdf(entries, fibres, options, path, error);
}

void ViewerWindow::chooseLimits()
{
    LimitsDialog dialog(limits, this);
    if (dialog.exec() == QDialog::Accepted && dialog.limits())
        setLimits(dialog.limits());
}

void ViewerWindow::chooseReport()
{
    if (traceCount() == 0)
        return;
    QString path = QFileDialog::getSaveFileName(this,
                                                QStringLiteral("Exportar relatório PDF"),
                                                QStringLiteral("relatorio.pdf"),
                                                QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    QString error;
    if (!exportReport(path, &error)) {
        QMessageBox::warning(
            this,
            QStringLiteral("Exportar relatório PDF"),
            QStringLiteral("Não foi possível gravar \"%1\":\n%2").arg(path, error));
    }
}
