#pragma once

#include <QDialog>
#include <QString>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorbel {

class Dialogs;
class FailLimitEdit;
class SettingsStore;

// Edits the five settings. Loads them when created; writes them only when
// the save button is pressed, and closing it any other way discards edits.
class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    SettingsWindow(SettingsStore& settings, Dialogs& dialogs, QWidget* parent = nullptr);

private:
    using Setting = std::pair<std::string_view, std::string>;

    void buildTriggerGroup();
    void buildOptionsGroup();
    void load();
    // The writes the save button makes, in order; a setting whose options
    // are all unchecked is left as the file has it.
    std::vector<Setting> settingsToSave() const;
    void save();
    void browse();

    SettingsStore& settings_;
    Dialogs& dialogs_;
    // The open-file dialog's file name: the last confirmed choice.
    QString chosenTaskFile_;

    QRadioButton* anyHostOption_ = nullptr;
    QRadioButton* allHostsOption_ = nullptr;
    FailLimitEdit* failLimitEdit_ = nullptr;
    std::vector<QRadioButton*> modeOptions_;  // shutdownType "1" to "4"
    QCheckBox* runTaskCheck_ = nullptr;
    QLineEdit* taskPathEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
};

}  // namespace quorbel
