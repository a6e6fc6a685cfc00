#include "viewerwindow.h"

#include "baselinedialog.h"
#include "sor/sorreader.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

BaselineDialog *
ViewerWindow::compareWithBaseline(int index, const QString &basePath, QString *problem, bool force)
{
    if (!set.contains(index))
        return nullptr;
    const Sor::Opened base = Sor::openTrace(basePath);
    if (!base.usable()) {
        if (problem)
            *problem = QStringLiteral("%1: %2").arg(QFileInfo(basePath).fileName(), base.problem);
        return nullptr;
    }
    Baseline::Options options;
    options.force = force;
    const Baseline::Comparison comparison
        = Baseline::compare(base.trace, set.at(index).shown(), options);
    if (!comparison.problem.isEmpty()) {
        if (problem)
            *problem = comparison.problem;
        return nullptr;
    }
    auto *dialog = new BaselineDialog(base.trace,
                                      QFileInfo(basePath).fileName(),
                                      set.at(index).shown(),
                                      QFileInfo(set.at(index).path).fileName(),
                                      comparison,
                                      this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

void ViewerWindow::chooseBaseline()
{
    const int index = selected();
    if (!set.contains(index)) {
        QMessageBox::information(this,
                                 QStringLiteral("Comparar com linha de base"),
                                 QStringLiteral("Abra e selecione o traço de agora; depois escolha "
                                                "o da linha de base."));
        return;
    }
    const QString path = QFileDialog::getOpenFileName(
        this,
        QStringLiteral("Linha de base de %1").arg(QFileInfo(set.at(index).path).fileName()),
        QFileInfo(set.at(index).path).absolutePath(),
        QStringLiteral("Traços SOR (*.sor *.SOR)"));
    if (path.isEmpty())
        return;
    QString problem;
    if (compareWithBaseline(index, path, &problem))
        return;
    // A refusal the user may overrule (another fibre, the other end), as --force does.
    const Sor::Opened base = Sor::openTrace(path);
    if (!base.usable()) {
        QMessageBox::warning(this, QStringLiteral("Comparar com linha de base"), problem);
        return;
    }
    const QString reason = problem.section(QStringLiteral("; --force"), 0, 0);
    const auto answer = QMessageBox::question(
        this,
        QStringLiteral("Comparar com linha de base"),
        QStringLiteral("Estes traços não parecem uma fibra medida da mesma ponta: %1.\n\n"
                       "Comparar assim mesmo?")
            .arg(reason),
        QMessageBox::Yes | QMessageBox::No,
        QMessageBox::No);
    if (answer == QMessageBox::Yes && !compareWithBaseline(index, path, &problem, true))
        QMessageBox::warning(this, QStringLiteral("Comparar com linha de base"), problem);
}
