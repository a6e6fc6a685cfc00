#include "archivedialog.h"

#include "dialogbuttons.h"

#include "archive/columns.h"
#include "sor/sortext.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The archive's columns the table shows.
QVector<const Archive::Column *> shownColumns()
{
    QVector<const Archive::Column *> shown;
    for (const Archive::Column &c : Archive::columns()) {
        if (c.cell)
            shown << &c;
    }
    return shown;
}

} // namespace

ArchiveDialog::ArchiveDialog(const QString &db, QWidget *parent)
    : QDialog(parent)
    , database(db)
{
    setWindowTitle(QStringLiteral("Arquivo de traços"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    which = new QLabel;
    which->setObjectName(QStringLiteral("archiveName"));
    which->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QLayout *fields = searchFields();
    makeResults();
    state = new QLabel;
    state->setObjectName(QStringLiteral("archiveState"));
    state->setWordWrap(true);
    QDialogButtonBox *buttons = actionButtons();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(which);
    layout->addLayout(fields);
    layout->addWidget(results, 1);
    layout->addWidget(state);
    layout->addWidget(buttons);
    resize(1100, 600);
}

QLayout *ArchiveDialog::searchFields()
{
    text = new QLineEdit;
    text->setObjectName(QStringLiteral("archiveText"));
    text->setPlaceholderText(QStringLiteral("palavras nos rótulos, no fabricante ou no caminho"));
    cable = new QLineEdit;
    cable->setObjectName(QStringLiteral("archiveCable"));
    fibre = new QLineEdit;
    fibre->setObjectName(QStringLiteral("archiveFibre"));
    band = new QComboBox;
    band->addItem(QStringLiteral("todas"), 0);
    for (const int nm : Sor::Bands)
        band->addItem(QStringLiteral("%1 nm").arg(nm), nm);
    condition = new QComboBox;
    condition->addItem(QStringLiteral("todas"), QString());
    condition->addItem(QStringLiteral("BC (as-built)"), QStringLiteral("BC"));
    for (const QString &c : {QStringLiteral("CC"), QStringLiteral("RC"), QStringLiteral("OT")})
        condition->addItem(c, c);
    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("Texto:"), text);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Cabo:")));
    row->addWidget(cable, 2);
    row->addWidget(new QLabel(QStringLiteral("Fibra:")));
    row->addWidget(fibre, 1);
    row->addWidget(new QLabel(QStringLiteral("λ:")));
    row->addWidget(band);
    row->addWidget(new QLabel(QStringLiteral("Condição:")));
    row->addWidget(condition);
    auto *searchButton = new QPushButton(QStringLiteral("&Procurar"));
    searchButton->setDefault(true);
    row->addWidget(searchButton);
    fields->addRow(row);
    connect(searchButton, &QPushButton::clicked, this, &ArchiveDialog::search);
    for (QLineEdit *field : {text, fibre, cable})
        connect(field, &QLineEdit::returnPressed, this, &ArchiveDialog::search);
    return fields;
}

void ArchiveDialog::makeResults()
{
    const QVector<const Archive::Column *> shown = shownColumns();
    results = new QTableWidget(0, int(shown.size()));
    results->setObjectName(QStringLiteral("archiveResults"));
    QStringList headings;
    for (const Archive::Column *c : shown)
        headings << c->heading;
    results->setHorizontalHeaderLabels(headings);
    results->setSelectionBehavior(QAbstractItemView::SelectRows);
    results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results->verticalHeader()->hide();
    results->horizontalHeader()->setStretchLastSection(true);
    results->setTextElideMode(Qt::ElideMiddle);
    connect(results, &QTableWidget::cellDoubleClicked, this, &ArchiveDialog::openSelected);
}

QDialogButtonBox *ArchiveDialog::actionButtons()
{
    QDialogButtonBox *buttons = closeRow(this);
    QPushButton *open = buttons->addButton(QStringLiteral("&Abrir"), QDialogButtonBox::ActionRole);
    open->setObjectName(QStringLiteral("archiveOpen"));
    QPushButton *history
        = buttons->addButton(QStringLiteral("&Histórico da fibra"), QDialogButtonBox::ActionRole);
    history->setObjectName(QStringLiteral("archiveHistory"));
    QPushButton *add
        = buttons->addButton(QStringLiteral("A&dicionar pasta…"), QDialogButtonBox::ActionRole);
    QPushButton *other = buttons->addButton(QStringLiteral("Abrir &outro arquivo de traços…"),
                                            QDialogButtonBox::ActionRole);
    other->setObjectName(QStringLiteral("archiveOther"));
    connect(open, &QPushButton::clicked, this, &ArchiveDialog::openSelected);
    connect(history, &QPushButton::clicked, this, [this] {
        const QStringList paths = historyPaths();
        if (!paths.isEmpty())
            emit historyRequested(paths);
    });
    connect(add, &QPushButton::clicked, this, &ArchiveDialog::chooseFolder);
    connect(other, &QPushButton::clicked, this, &ArchiveDialog::chooseArchive);
    return buttons;
}

void ArchiveDialog::openSelected()
{
    const QStringList paths = selectedPaths();
    if (!paths.isEmpty())
        emit openRequested(paths);
}

ArchiveDialog::~ArchiveDialog() = default;

QString ArchiveDialog::status() const
{
    return state->text();
}

QString ArchiveDialog::archiveName() const
{
    return database.isEmpty() ? Archive::Archive::defaultPath() : database;
}

bool ArchiveDialog::ensureOpen()
{
    which->setText(QStringLiteral("Arquivo de traços: %1").arg(archiveName()));
    if (archive)
        return true;
    QString why;
    archive = Archive::Archive::open(database, &why);
    if (!archive)
        state->setText(QStringLiteral("Não foi possível abrir o arquivo de traços: %1").arg(why));
    return bool(archive);
}

bool ArchiveDialog::openArchive(const QString &db)
{
    QString why;
    std::unique_ptr<Archive::Archive> other = Archive::Archive::open(db, &why, false);
    if (!other) {
        state->setText(QStringLiteral("Não foi possível abrir %1: %2; continua aberto %3")
                           .arg(db, why, archiveName()));
        return false;
    }
    archive = std::move(other);
    database = db;
    found.clear();
    results->setRowCount(0);
    return search();
}

void ArchiveDialog::chooseArchive()
{
    const QString path = QFileDialog::getOpenFileName(
        this,
        QStringLiteral("Outro arquivo de traços"),
        QFileInfo(archiveName()).absolutePath(),
        QStringLiteral("Arquivos de traços (*.sqlite *.db);;Todos os arquivos (*)"));
    if (!path.isEmpty())
        openArchive(path);
}

bool ArchiveDialog::search()
{
    if (!ensureOpen())
        return false;
    Archive::Query q;
    q.text = text->text();
    q.cable = cable->text().trimmed();
    q.fiber = fibre->text().trimmed();
    q.bandNm = band->currentData().toInt();
    q.condition = condition->currentData().toString();
    // A table of tens of thousands is no help: the newest searches are narrowed instead.
    q.limit = 5000;
    found = archive->find(q);
    results->setSortingEnabled(false);
    results->setRowCount(found.size());
    // Dates in the user's time; an empty cell where there is nothing.
    Archive::TableStyle viewer;
    viewer.localTime = true;
    viewer.countCopies = false;
    viewer.none.clear();
    const QVector<const Archive::Column *> shown = shownColumns();
    for (int r = 0; r < found.size(); ++r) {
        const Archive::Record &t = found.at(r);
        for (int c = 0; c < shown.size(); ++c) {
            const QString cellText = shown.at(c)->cell(t, viewer);
            auto *item = new QTableWidgetItem(cellText);
            item->setData(Qt::UserRole, r);
            if (shown.at(c)->key == QLatin1String("path"))
                item->setToolTip(cellText);
            if (t.gone() || t.damaged)
                item->setForeground(QColor(0x80, 0x80, 0x80));
            results->setItem(r, c, item);
        }
    }
    results->resizeColumnsToContents();
    results->setSortingEnabled(true);
    state->setText(found.size() >= q.limit
                       ? QStringLiteral("Os primeiros %1 traços; refine a busca.").arg(q.limit)
                       : QStringLiteral("%1 traço(s).").arg(found.size()));
    return true;
}

QStringList ArchiveDialog::selectedPaths() const
{
    QStringList paths;
    QSet<int> rows;
    for (const QTableWidgetItem *item : results->selectedItems()) {
        const int r = item->data(Qt::UserRole).toInt();
        if (rows.contains(r) || r < 0 || r >= found.size())
            continue;
        rows.insert(r);
        const Archive::Record &t = found.at(r);
        if (!t.gone())
            paths << t.path();
    }
    return paths;
}

QStringList ArchiveDialog::historyPaths() const
{
    const QList<QTableWidgetItem *> chosen = results->selectedItems();
    if (chosen.isEmpty() || !archive)
        return {};
    const int r = chosen.first()->data(Qt::UserRole).toInt();
    if (r < 0 || r >= found.size() || found.at(r).fiber.isEmpty())
        return {};
    QStringList paths;
    for (const Archive::Record &t : archive->history(found.at(r).fiber, found.at(r).cable)) {
        if (!t.gone() && !t.damaged)
            paths << t.path();
    }
    return paths;
}

Archive::AddResult ArchiveDialog::addFolder(const QString &folder)
{
    if (!ensureOpen())
        return {};
    QProgressDialog progress(QStringLiteral("Indexando %1…").arg(folder), QString(), 0, 0, this);
    progress.setWindowTitle(QStringLiteral("Arquivo de traços"));
    progress.setMinimumDuration(300);
    const Archive::AddResult r
        = archive->add({folder}, std::nullopt, [&](int done, int total, const QString &) {
              progress.setMaximum(total);
              progress.setValue(done);
          });
    // The command line's words for the same add, singulars and files left out included.
    state->setText(
        Archive::summary(r)
        + (r.errors.isEmpty()
               ? QString()
               : QStringLiteral("; %1 não lidos: %2").arg(r.errors.size()).arg(r.errors.first())));
    return r;
}

void ArchiveDialog::chooseFolder()
{
    const QString folder
        = QFileDialog::getExistingDirectory(this, QStringLiteral("Pasta de traços a indexar"));
    if (folder.isEmpty())
        return;
    addFolder(folder);
    search();
}
