#pragma once

#include "acceptance/limits.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// Análise › Limites: a preset by its readable name, or a JSON file, with the values it checks
// shown before they are applied.
class LimitsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LimitsDialog(const std::optional<Acceptance::Limits> &current,
                          QWidget *parent = nullptr);

    // The limits shown; none where a file could not be used.
    const std::optional<Acceptance::Limits> &limits() const { return shown; }
    // Reads a limits file and shows its values, or why it cannot be used.
    bool loadFile(const QString &path);
    QTableWidget *table() const { return values; }

private:
    void choosePreset(int index);
    void chooseFile();
    void showLimits(const std::optional<Acceptance::Limits> &limits, const QString &problem = {});

    std::optional<Acceptance::Limits> shown;
    std::optional<Acceptance::Limits> inUse; // limits in use that are no preset (a file's)
    QComboBox *presets = nullptr;
    QTableWidget *values = nullptr;
    QLabel *note = nullptr;
    QPushButton *apply = nullptr;
};
