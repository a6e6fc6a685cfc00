#include "dialogbuttons.h"

#include <QDialog>
#include <QPushButton>

QDialogButtonBox *closeRow(QDialog *dialog)
{
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("Fechar"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QDialogButtonBox *actionRow(QDialog *dialog, const QString &action, QPushButton **button)
{
    auto *buttons = new QDialogButtonBox;
    QPushButton *accept = buttons->addButton(action, QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    if (button)
        *button = accept;
    return buttons;
}
