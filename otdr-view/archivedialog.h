#pragma once

#include "archive/archive.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLayout;
class QLabel;
class QLineEdit;
class QTableWidget;

// The trace archive in the viewer: a search over what it indexed (text, cable, fibre, band,
// condition), a table of what it found, and the traces opened from it, or a fibre's whole
// history overlaid at once.
class ArchiveDialog : public QDialog
{
    Q_OBJECT

public:
    // db as otdr-sor archive --db takes it; empty: the user's own archive.
    explicit ArchiveDialog(const QString &db, QWidget *parent = nullptr);
    ~ArchiveDialog() override;

    // Runs the search in the fields; false, said in the dialog, when the archive cannot be read.
    bool search();
    // Another archive (a SQLite file, or a server's address) in place of this one, searched at
    // once; false, said in the dialog, when it cannot be opened (the one open stays).
    bool openArchive(const QString &db);
    QString archiveName() const;
    // Indexes a folder, with progress.
    Archive::AddResult addFolder(const QString &folder);
    QTableWidget *table() const { return results; }
    QLineEdit *fibreField() const { return fibre; }
    QLineEdit *textField() const { return text; }
    QString status() const;
    // The selected rows' files, and the selected fibre's history: its files in the history's
    // order (the as-built first).
    QStringList selectedPaths() const;
    QStringList historyPaths() const;

signals:
    void openRequested(const QStringList &paths);
    // A fibre's history, to be seen alone: it replaces what is open.
    void historyRequested(const QStringList &paths);

private:
    // The search: its text, cable, fibre, band and condition, and the button that runs it.
    QLayout *searchFields();
    void makeResults();
    // Open, the fibre's history, add a folder, another archive; and close.
    QDialogButtonBox *actionButtons();
    void openSelected();
    bool ensureOpen();
    void chooseFolder();
    void chooseArchive();

    QString database;
    std::unique_ptr<Archive::Archive> archive;
    QVector<Archive::Record> found;
    QLineEdit *text = nullptr;
    QLineEdit *cable = nullptr;
    QLineEdit *fibre = nullptr;
    QComboBox *band = nullptr;
    QComboBox *condition = nullptr;
    QTableWidget *results = nullptr;
    QLabel *state = nullptr;
    QLabel *which = nullptr;
};
