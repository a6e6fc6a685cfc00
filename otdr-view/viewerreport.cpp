#include "dialogbuttons.h"
#include "viewerwindow.h"

#include "limitsdialog.h"
#include "report/report.h"

#include <QDialog>
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
    set.setLimits(chosen);
    showSelected();
    updateLinkMap();
}

bool ViewerWindow::exportReport(const QString &path, QString *error) const
{
    return set.exportReport(path, reportHeading(), error);
}

void ViewerWindow::chooseLimits()
{
    LimitsDialog dialog(set.limits(), this);
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
    QDialogButtonBox *buttons = actionRow(&dialog, QStringLiteral("Continuar"));
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
    exportAs(QStringLiteral("Exportar relatório PDF"),
             QStringLiteral("relatorio.pdf"),
             QStringLiteral("PDF (*.pdf)"),
             [this](const QString &path, QString *error) { return exportReport(path, error); });
}
