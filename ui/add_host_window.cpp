#include "ui/add_host_window.h"

#include <QLineEdit>
#include <QPushButton>

#include <utility>

#include "hostdata/host_list_file.h"
#include "hostdata/host_table.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/ipv4_address_edit.h"
#include "ui/texts.h"
#include "ui/window_geometry.h"

namespace quorbel {
namespace {

constexpr QSize kOuterSize{273, 181};
constexpr int kFontPixels = 14;

}  // namespace

AddHostWindow::AddHostWindow(HostTable& table, std::filesystem::path hostListPath, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), table_(table), hostListPath_(std::move(hostListPath)), dialogs_(dialogs) {
    setWindowTitle(texts::addHostTitle());
    setFont(controls::pixelFont(font(), kFontPixels));
    makeFixedCentredWindow(*this, kOuterSize);

    controls::transparentLabel(texts::hostNameLabel(), this, QRect(24, 20, 48, 32), Qt::AlignRight);
    hostNameEdit_ = new QLineEdit(this);
    hostNameEdit_->setObjectName(QStringLiteral("hostNameEdit"));
    hostNameEdit_->setGeometry(74, 24, 160, 24);

    controls::transparentLabel(texts::hostAddressLabel(), this, QRect(16, 60, 48, 32), Qt::AlignLeft);
    hostAddressEdit_ = new Ipv4AddressEdit(this);
    hostAddressEdit_->setObjectName(QStringLiteral("hostAddressEdit"));
    hostAddressEdit_->setGeometry(74, 64, 160, 24);

    confirmButton_ = controls::plainButton(texts::confirmButton(), this, QRect(120, 112, 112, 24));
    confirmButton_->setObjectName(QStringLiteral("confirmButton"));
    connect(confirmButton_, &QPushButton::clicked, this, &AddHostWindow::confirm);
}

void AddHostWindow::confirm() {
    // A host without an address would miss every probe and could shut the
    // machine down at the first round.
    if (hostAddressEdit_->isBlank()) {
        hostAddressEdit_->setFocus(Qt::OtherFocusReason);
        return;
    }
    const int row = table_.appendRow(hostNameEdit_->text().toStdString(), RowState::NotProbed);
    table_.setCellText(row, AddressColumn, hostAddressEdit_->address().toStdString());
    const Status saved = quorbel::save(table_, hostListPath_);
    if (!saved) {
        dialogs_.warn(this, texts::hostListSaveCaption(),
                      texts::hostListSaveFailed(QString::fromStdString(saved.message())));
    }
    accept();
}

}  // namespace quorbel
