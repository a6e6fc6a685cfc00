#include "limitsdialog.h"
#include "dialogbuttons.h"

#include "acceptance/verdict.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

LimitsDialog::LimitsDialog(const std::optional<Acceptance::Limits> &current, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Limites"));
    presets = new QComboBox;
    presets->setObjectName(QStringLiteral("presets"));
    for (const QString &name : Acceptance::presetNames())
        presets->addItem(Acceptance::presetTitle(name), name);
    auto *file = new QPushButton(QStringLiteral("Abrir arquivo de limites (JSON)…"));
    file->setObjectName(QStringLiteral("limitsFile"));
    connect(file, &QPushButton::clicked, this, &LimitsDialog::chooseFile);
    values = new QTableWidget(0, 2);
    values->setObjectName(QStringLiteral("limitValues"));
    values->setHorizontalHeaderLabels({QStringLiteral("Limite"), QStringLiteral("Valor")});
    values->setEditTriggers(QAbstractItemView::NoEditTriggers);
    values->setSelectionMode(QAbstractItemView::NoSelection);
    values->verticalHeader()->hide();
    values->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    values->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    note = new QLabel;
    note->setObjectName(QStringLiteral("limitsNote"));
    note->setWordWrap(true);
    QDialogButtonBox *buttons = actionRow(this, QStringLiteral("Aplicar"), &apply);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Julgar os eventos pelos limites:")));
    layout->addWidget(presets);
    layout->addWidget(file);
    layout->addWidget(values);
    layout->addWidget(note);
    layout->addWidget(buttons);
    resize(520, 420);

    // The limits in use stay shown until another choice is made: a preset by its name, limits
    // that check nothing as "sem limites", a file's as an entry of their own. Without any, the
    // first preset is shown, and Aplicar applies what is shown.
    int index = 0;
    if (current) {
        index = presets->findData(current->name);
        if (index < 0 && !current->checksAnything())
            index = presets->findData(QStringLiteral("sem limites"));
        if (index < 0) {
            presets->insertItem(0,
                                QStringLiteral("%1 (em uso)")
                                    .arg(current->name.isEmpty()
                                             ? QStringLiteral("Limites de um arquivo")
                                             : Acceptance::presetTitle(current->name)),
                                QString());
            inUse = current;
            index = 0;
        }
    }
    presets->setCurrentIndex(index);
    choosePreset(index);
    connect(presets, QOverload<int>::of(&QComboBox::activated), this, &LimitsDialog::choosePreset);
}

void LimitsDialog::choosePreset(int index)
{
    const QString name = presets->itemData(index).toString();
    showLimits(name.isEmpty() && inUse ? inUse : Acceptance::preset(name));
}

void LimitsDialog::chooseFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Arquivo de limites"), QString(), QStringLiteral("Limites (*.json)"));
    if (!path.isEmpty())
        loadFile(path);
}

bool LimitsDialog::loadFile(const QString &path)
{
    QString error;
    const std::optional<Acceptance::Limits> read = Acceptance::readLimits(path, &error);
    showLimits(read,
               read ? QString()
                    : QStringLiteral("Não foi possível usar os limites de \"%1\":\n%2")
                          .arg(QFileInfo(path).fileName(), error));
    return bool(read);
}

void LimitsDialog::showLimits(const std::optional<Acceptance::Limits> &limits,
                              const QString &problem)
{
    shown = limits;
    values->setRowCount(0);
    apply->setEnabled(bool(limits));
    if (!limits) {
        note->setText(problem);
        return;
    }
    const QVector<Acceptance::LimitRow> rows = Acceptance::limitRows(*limits);
    values->setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        QString label = rows.at(r).label;
        label[0] = label.at(0).toUpper();
        if (rows.at(r).wavelengthNm)
            label += QStringLiteral(" em %1 nm").arg(*rows.at(r).wavelengthNm);
        values->setItem(r, 0, new QTableWidgetItem(label));
        auto *value = new QTableWidgetItem(rows.at(r).value);
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        values->setItem(r, 1, value);
    }
    const QString title = Acceptance::presetTitle(limits->name);
    note->setText(rows.isEmpty() ? QStringLiteral("%1: nenhum limite é verificado.").arg(title)
                                 : title);
}
