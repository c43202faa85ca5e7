#include "ui/add_host_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>

#include "hostdata/host_list_file.h"
#include "hostdata/host_table.h"
#include "tests/support/temporary_directory.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_dialogs.h"
#include "ui/ipv4_address_edit.h"

namespace quorbel {
namespace {

using testing::childNamed;
using testing::DialogCall;

class AddHostWindowTest : public testing::QtTest {
protected:

    void fillIn(AddHostWindow& window, const QString& name, const QString& address) {
        childNamed<QLineEdit>(window, "hostNameEdit").setText(name);
        childNamed<Ipv4AddressEdit>(window, "hostAddressEdit").setAddress(address);
    }
    void confirm(AddHostWindow& window) { childNamed<QPushButton>(window, "confirmButton").click(); }

    testing::TemporaryDirectory directory_;
    std::filesystem::path hostListPath_ = directory_ / "db.kdb";
    HostTable table_;
    testing::ScriptedDialogs dialogs_;
};

TEST_F(AddHostWindowTest, AnEmptyNameGivesANotProbedRow) {
    AddHostWindow window(table_, hostListPath_, dialogs_);
    ASSERT_TRUE(testing::showActive(window));
    fillIn(window, "", "10.0.0.1");

    confirm(window);

    ASSERT_EQ(table_.rowCount(), 1);
    EXPECT_EQ(table_.cellText(0, NameColumn), "");
    EXPECT_EQ(table_.cellText(0, AddressColumn), "10.0.0.1");
    EXPECT_EQ(table_.cellText(0, ResponseColumn), "");
    EXPECT_EQ(table_.cellText(0, FailureCountColumn), "");
    EXPECT_EQ(table_.rowState(0), RowState::NotProbed);
    EXPECT_EQ(table_.itemValue(0), 0);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(dialogs_.calls().empty());
}

TEST_F(AddHostWindowTest, AnAddedHostIsThereAfterARestart) {
    table_.appendRow("网关", RowState::Answered);
    table_.setCellText(0, AddressColumn, "192.168.1.1");
    table_.setCellText(0, ResponseColumn, "12ms");
    table_.setCellText(0, FailureCountColumn, "3");
    AddHostWindow window(table_, hostListPath_, dialogs_);
    fillIn(window, "备份服务器", "192.168.1.20");

    confirm(window);

    HostTable restarted;
    applyHostList(restarted, load(hostListPath_));
    ASSERT_EQ(restarted.rowCount(), 2);
    EXPECT_EQ(restarted.cellText(0, NameColumn), "网关");
    EXPECT_EQ(restarted.cellText(1, NameColumn), "备份服务器");
    EXPECT_EQ(restarted.cellText(1, AddressColumn), "192.168.1.20");
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(restarted.cellText(row, ResponseColumn), "") << row;
        EXPECT_EQ(restarted.cellText(row, FailureCountColumn), "") << row;
        EXPECT_EQ(restarted.rowState(row), RowState::NotProbed) << row;
    }
}

TEST_F(AddHostWindowTest, TheCloseBoxAddsNothingAndLeavesTheFileAlone) {
    table_.appendRow("网关", RowState::NotProbed);
    table_.setCellText(0, AddressColumn, "192.168.1.1");
    ASSERT_TRUE(save(table_, hostListPath_).ok());
    const std::string before = testing::readFileBytes(hostListPath_);
    AddHostWindow window(table_, hostListPath_, dialogs_);
    ASSERT_TRUE(testing::showActive(window));
    fillIn(window, "新主机", "10.1.1.1");

    window.close();

    EXPECT_EQ(table_.rowCount(), 1);
    EXPECT_EQ(testing::readFileBytes(hostListPath_), before);
    EXPECT_TRUE(dialogs_.calls().empty());
}

TEST_F(AddHostWindowTest, ABlankAddressKeepsTheWindowOpenWithTheAddressFocused) {
    AddHostWindow window(table_, hostListPath_, dialogs_);
    ASSERT_TRUE(testing::showActive(window));
    fillIn(window, "网关", "");
    childNamed<QLineEdit>(window, "hostNameEdit").setFocus();

    confirm(window);

    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(table_.rowCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(hostListPath_));
    auto& address = childNamed<Ipv4AddressEdit>(window, "hostAddressEdit");
    EXPECT_TRUE(address.isAncestorOf(QApplication::focusWidget()));
}

TEST_F(AddHostWindowTest, ASaveFailureIsToldAndTheHostStaysInTheList) {
    testing::writeFileBytes(directory_ / "plain-file", "not a directory");
    const std::filesystem::path unwritable = directory_ / "plain-file" / "db.kdb";
    AddHostWindow window(table_, unwritable, dialogs_);
    ASSERT_TRUE(testing::showActive(window));
    fillIn(window, "网关", "192.168.1.1");

    confirm(window);

    ASSERT_EQ(dialogs_.calls().size(), 1u);
    const DialogCall& call = dialogs_.calls()[0];
    EXPECT_EQ(call.kind, DialogCall::Kind::Warn);
    EXPECT_EQ(call.caption, "保存失败");
    EXPECT_TRUE(call.text.contains(QString::fromStdString(unwritable.string()))) << call.text.toStdString();
    EXPECT_EQ(table_.rowCount(), 1);
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace quorbel
