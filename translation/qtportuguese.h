#pragma once

#include <QStringList>

class QCoreApplication;

// Qt's own texts in the language of the programs: the buttons and questions of Qt's dialogs, the
// file dialogs, the headings and errors of the command-line help. The programs' own texts are
// written in Portuguese where they are shown and need no catalogue.
namespace QtPortuguese {

// The folders searched, in order: "translations" beside the program (the Windows zip), then
// Qt's own translations folder.
QStringList searchFolders();

// Installs Qt's Brazilian Portuguese catalogues (Portuguese where there is no Brazilian one) in
// the application and returns the files loaded. Without the catalogues Qt speaks English and
// nothing fails.
QStringList install(QCoreApplication *app);

} // namespace QtPortuguese
