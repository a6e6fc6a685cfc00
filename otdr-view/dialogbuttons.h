#pragma once

#include <QDialogButtonBox>

class QDialog;
class QPushButton;

// The viewer's dialogs end in one of two button rows, worded and wired alike everywhere.

// "Fechar" alone, which closes the dialog.
QDialogButtonBox *closeRow(QDialog *dialog);

// The dialog's action (accepting it) and "Cancelar"; *action, where asked, is the action's button.
QDialogButtonBox *actionRow(QDialog *dialog, const QString &action, QPushButton **button = nullptr);
