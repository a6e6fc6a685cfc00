#include "viewerwindow.h"

#include "limitsdialog.h"
#include "report/report.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

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
    const ReportHeading heading = reportHeading();
    if (!heading.title.isEmpty())
        options.title = heading.title;
    options.company = heading.company;
    options.operatorName = heading.operatorName;
    if (!heading.logoPath.isEmpty() && !options.logo.load(heading.logoPath)) {
        if (error)
            *error = QStringLiteral("não foi possível ler o logotipo \"%1\"").arg(heading.logoPath);
        return false;
    }
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

ViewerWindow::ReportHeading ViewerWindow::reportHeading() const
{
    const std::unique_ptr<QSettings> settings = viewerSettings();
    settings->beginGroup(QStringLiteral("report"));
    return {settings->value(QStringLiteral("title"), Report::Options().title).toString(),
            settings->value(QStringLiteral("company")).toString(),
            settings->value(QStringLiteral("operator")).toString(),
            settings->value(QStringLiteral("logo")).toString()};
}

void ViewerWindow::setReportHeading(const ReportHeading &heading)
{
    const std::unique_ptr<QSettings> settings = viewerSettings();
    settings->beginGroup(QStringLiteral("report"));
    settings->setValue(QStringLiteral("title"), heading.title);
    settings->setValue(QStringLiteral("company"), heading.company);
    settings->setValue(QStringLiteral("operator"), heading.operatorName);
    settings->setValue(QStringLiteral("logo"), heading.logoPath);
}

// Title, company, operator and logo, as the command's options give them; false if cancelled.
bool ViewerWindow::askReportHeading()
{
    const ReportHeading was = reportHeading();
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Exportar relatório PDF"));
    const auto field = [](const QString &text, const char *name) {
        auto *edit = new QLineEdit(text);
        edit->setObjectName(QLatin1String(name));
        edit->setMinimumWidth(360);
        return edit;
    };
    QLineEdit *title = field(was.title, "reportTitle");
    QLineEdit *company = field(was.company, "reportCompany");
    QLineEdit *operatorName = field(was.operatorName, "reportOperator");
    QLineEdit *logo = field(was.logoPath, "reportLogo");
    auto *pickLogo = new QPushButton(QStringLiteral("Escolher…"));
    connect(pickLogo, &QPushButton::clicked, &dialog, [&] {
        const QString path = QFileDialog::getOpenFileName(
            &dialog, QStringLiteral("Logotipo"), logo->text(), QStringLiteral("Imagens (*.png)"));
        if (!path.isEmpty())
            logo->setText(path);
    });
    auto *logoRow = new QHBoxLayout;
    logoRow->addWidget(logo);
    logoRow->addWidget(pickLogo);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("Continuar"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Título:"), title);
    form->addRow(QStringLiteral("Empresa:"), company);
    form->addRow(QStringLiteral("Operador:"), operatorName);
    form->addRow(QStringLiteral("Logotipo (opcional):"), logoRow);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    setReportHeading({title->text().trimmed(),
                      company->text().trimmed(),
                      operatorName->text().trimmed(),
                      logo->text().trimmed()});
    return true;
}

void ViewerWindow::chooseReport()
{
    if (traceCount() == 0 || !askReportHeading())
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
