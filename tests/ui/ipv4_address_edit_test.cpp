#include "ui/ipv4_address_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/support/qt_application.h"

namespace quorbel {
namespace {

// Backspace in the typed text of a case.
constexpr char kBackspace = '\b';

class Ipv4AddressEditTest : public testing::QtTest {
protected:
    Ipv4AddressEditTest() {
        edit_ = new Ipv4AddressEdit(&window_);
        edit_->setGeometry(10, 10, 160, 24);
    }

    // Types into whatever has the focus, as the keyboard does.
    void type(const std::string& keys) {
        for (const char key : keys) {
            if (key == kBackspace) {
                QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Backspace);
            } else {
                QTest::keyClick(static_cast<QWidget*>(nullptr), key);
            }
        }
    }

    QDialog window_;
    Ipv4AddressEdit* edit_;
};

struct TypingCase {
    const char* name;
    std::string typed;
    const char* address;
};

class Ipv4AddressTypingTest : public Ipv4AddressEditTest, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(Ipv4AddressTypingTest, ReadsWhatWasTyped) {
    ASSERT_TRUE(testing::showActive(window_));
    edit_->setFocus();

    type(GetParam().typed);

    EXPECT_EQ(edit_->address(), QString::fromLatin1(GetParam().address));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Ipv4AddressTypingTest,
    ::testing::Values(TypingCase{"Nothing", "", ""},
                      TypingCase{"FirstFieldOnly", "10", "10.0.0.0"},
                      TypingCase{"DottedAddress", "192.168.1.1", "192.168.1.1"},
                      TypingCase{"ThirdDigitMovesOn", "1234", "123.4.0.0"},
                      TypingCase{"FullFieldsThenDots", "192.168.100.200", "192.168.100.200"},
                      TypingCase{"OverLimitClampedTo255", "300.256.1", "255.255.1.0"},
                      TypingCase{"LeadingZerosDropped", "010.001.0.7", "10.1.0.7"},
                      TypingCase{"LettersRefused", "1a.b2", "1.2.0.0"},
                      TypingCase{"DotInEmptyFieldStays", ".5", "5.0.0.0"},
                      TypingCase{"BackspaceInEmptyFieldGoesBack", std::string("1.2") + kBackspace + kBackspace + "5",
                                 "15.0.0.0"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(Ipv4AddressEditTest, SetAddressFillsTheFields) {
    struct Case {
        const char* given;
        const char* address;
    };
    const Case cases[] = {
        {"192.168.1.1", "192.168.1.1"}, {"", ""}, {"10", "10.0.0.0"},
        {"999.x.1", "255.0.1.0"},       {"a.b.c.d", ""}, {"1.2.3.4.5", "1.2.3.4"},
    };
    for (const Case& item : cases) {
        edit_->setAddress(QString::fromLatin1(item.given));
        EXPECT_EQ(edit_->address(), QString::fromLatin1(item.address)) << item.given;
        EXPECT_EQ(edit_->isBlank(), QString::fromLatin1(item.address).isEmpty()) << item.given;
    }
}

TEST_F(Ipv4AddressEditTest, PastingADottedAddressFillsEveryField) {
    ASSERT_TRUE(testing::showActive(window_));
    edit_->setFocus();
    QGuiApplication::clipboard()->setText(" 172.16.0.9 ");

    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_V, Qt::ControlModifier);

    EXPECT_EQ(edit_->address(), "172.16.0.9");
}

}  // namespace
}  // namespace quorbel
