#include "ui/settings_window.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <limits>

#include "hostdata/settings_store.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/fail_limit_edit.h"
#include "ui/texts.h"
#include "ui/window_geometry.h"

namespace quorbel {
namespace {

constexpr QSize kOuterSize{379, 313};
constexpr int kFontPixels = 12;

struct ModeOption {
    const char* objectName;
    QString (*text)();
    QRect geometry;
    std::string_view value;
};

const ModeOption kModeOptions[] = {
    {"modeNormal1Option", texts::modeNormal1Option, QRect(81, 26, 56, 24), "1"},
    {"modeNormal2Option", texts::modeNormal2Option, QRect(140, 26, 56, 24), "2"},
    {"modeForce1Option", texts::modeForce1Option, QRect(199, 26, 56, 24), "3"},
    {"modeForce2Option", texts::modeForce2Option, QRect(258, 26, 56, 24), "4"},
};

QRadioButton* radioOption(const char* objectName, const QString& text, QWidget* parent, QRect geometry) {
    auto* option = new QRadioButton(text, parent);
    option->setObjectName(QString::fromLatin1(objectName));
    option->setGeometry(geometry);
    return option;
}

QString readSetting(const SettingsStore& settings, std::string_view key, std::string_view defaultText) {
    return QString::fromStdString(settings.read(key, defaultText));
}

}  // namespace

SettingsWindow::SettingsWindow(SettingsStore& settings, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), settings_(settings), dialogs_(dialogs) {
    setWindowTitle(texts::settingsTitle());
    setFont(controls::pixelFont(font(), kFontPixels));
    makeFixedCentredWindow(*this, kOuterSize);

    buildTriggerGroup();
    buildOptionsGroup();
    saveButton_ = controls::plainButton(texts::saveButton(), this, QRect(248, 248, 104, 24));
    saveButton_->setObjectName(QStringLiteral("saveButton"));
    connect(saveButton_, &QPushButton::clicked, this, &SettingsWindow::save);
    connect(browseButton_, &QPushButton::clicked, this, &SettingsWindow::browse);

    load();
}

void SettingsWindow::buildTriggerGroup() {
    auto* group = new QGroupBox(texts::triggerGroupTitle(), this);
    group->setGeometry(20, 16, 336, 64);
    anyHostOption_ = radioOption("anyHostOption", texts::anyHostOption(), group, QRect(16, 24, 74, 24));
    allHostsOption_ = radioOption("allHostsOption", texts::allHostsOption(), group, QRect(90, 24, 74, 24));
    controls::transparentLabel(texts::failLimitLabel(), group, QRect(190, 22, 64, 24), Qt::AlignLeft);
    failLimitEdit_ = new FailLimitEdit(group);
    failLimitEdit_->setObjectName(QStringLiteral("failLimitEdit"));
    failLimitEdit_->setGeometry(260, 24, 43, 20);
}

void SettingsWindow::buildOptionsGroup() {
    auto* group = new QGroupBox(texts::optionsGroupTitle(), this);
    group->setGeometry(20, 96, 336, 136);
    controls::transparentLabel(texts::methodLabel(), group, QRect(17, 24, 56, 24), Qt::AlignLeft);
    for (const ModeOption& mode : kModeOptions) {
        modeOptions_.push_back(radioOption(mode.objectName, mode.text(), group, mode.geometry));
    }
    runTaskCheck_ = new QCheckBox(texts::runTaskCheck(), group);
    runTaskCheck_->setObjectName(QStringLiteral("runTaskCheck"));
    runTaskCheck_->setGeometry(16, 77, 97, 20);
    taskPathEdit_ = new QLineEdit(group);
    taskPathEdit_->setObjectName(QStringLiteral("taskPathEdit"));
    taskPathEdit_->setGeometry(113, 76, 174, 20);
    taskPathEdit_->setMaxLength(std::numeric_limits<int>::max());
    browseButton_ = controls::plainButton(texts::browseButton(), group, QRect(287, 76, 32, 20));
    browseButton_->setObjectName(QStringLiteral("browseButton"));
}

void SettingsWindow::load() {
    namespace keys = settings;
    const QString shutdownBy = readSetting(settings_, keys::kShutdownBy, keys::kShutdownByDefault);
    if (shutdownBy == QLatin1String("any")) anyHostOption_->setChecked(true);
    if (shutdownBy == QLatin1String("all")) allHostsOption_->setChecked(true);

    failLimitEdit_->setText(readSetting(settings_, keys::kCount, keys::kCountDefault));

    const std::string shutdownType = settings_.read(keys::kShutdownType, keys::kShutdownTypeDefault);
    for (std::size_t index = 0; index < modeOptions_.size(); ++index) {
        if (shutdownType == kModeOptions[index].value) modeOptions_[index]->setChecked(true);
    }

    // Any value but "on" and "off" leaves the box as it is.
    const QString run = readSetting(settings_, keys::kRun, keys::kRunDefault);
    if (run == QLatin1String("on")) runTaskCheck_->setChecked(true);
    if (run == QLatin1String("off")) runTaskCheck_->setChecked(false);

    taskPathEdit_->setText(readSetting(settings_, keys::kPath, keys::kPathDefault));
}

std::vector<SettingsWindow::Setting> SettingsWindow::settingsToSave() const {
    namespace keys = settings;
    std::vector<Setting> writes;
    if (anyHostOption_->isChecked()) {
        writes.emplace_back(keys::kShutdownBy, "any");
    } else if (allHostsOption_->isChecked()) {
        writes.emplace_back(keys::kShutdownBy, "all");
    }
    writes.emplace_back(keys::kCount, failLimitEdit_->text().toStdString());
    for (std::size_t index = 0; index < modeOptions_.size(); ++index) {
        if (modeOptions_[index]->isChecked()) {
            writes.emplace_back(keys::kShutdownType, std::string(kModeOptions[index].value));
            break;
        }
    }
    writes.emplace_back(keys::kRun, runTaskCheck_->isChecked() ? "on" : "off");
    writes.emplace_back(keys::kPath, taskPathEdit_->text().toStdString());
    return writes;
}

void SettingsWindow::save() {
    for (const auto& [key, value] : settingsToSave()) {
        const Status written = settings_.write(key, value);
        if (!written) {
            // Stay open so the operator's edits are not lost.
            dialogs_.warn(this, texts::savedCaption(),
                          texts::settingsNotSaved(QString::fromStdString(written.message())));
            return;
        }
    }
    dialogs_.inform(this, texts::savedCaption(), texts::savedNotice());
    accept();
}

void SettingsWindow::browse() {
    const QString chosen = dialogs_.chooseOpenFile(this, chosenTaskFile_);
    if (!chosen.isEmpty()) {
        chosenTaskFile_ = chosen;
        QDir::setCurrent(QFileInfo(chosen).absolutePath());
    }
    // A cancel keeps the dialog's earlier name, which then goes back into the box.
    if (!chosenTaskFile_.isEmpty()) taskPathEdit_->setText(chosenTaskFile_);
}

}  // namespace quorbel
