#pragma once

#include <QDialog>

#include <filesystem>

class QLineEdit;
class QPushButton;

namespace quorbel {

class Dialogs;
class HostTable;
class Ipv4AddressEdit;

// Adds one host to the table and saves the host list at once.
class AddHostWindow : public QDialog {
    Q_OBJECT
public:
    AddHostWindow(HostTable& table, std::filesystem::path hostListPath, Dialogs& dialogs, QWidget* parent = nullptr);

private:
    void confirm();

    HostTable& table_;
    std::filesystem::path hostListPath_;
    Dialogs& dialogs_;

    QLineEdit* hostNameEdit_ = nullptr;
    Ipv4AddressEdit* hostAddressEdit_ = nullptr;
    QPushButton* confirmButton_ = nullptr;
};

}  // namespace quorbel
