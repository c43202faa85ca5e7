#pragma once

#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

class QApplication;

namespace quorbel::testing {

// The test program's one QApplication, created on first use (on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise) and destroyed
// after the last test. Call it from every Qt test's fixture.
QApplication& ensureQtApplication();

// A fixture base whose application exists before any member widget.
class QtTest : public ::testing::Test {
protected:
    QtTest() { ensureQtApplication(); }
};

// Shows the window and waits until it is the active window, so that focus
// moves and key presses sent to the focus widget work as for an operator.
// False when the platform never activated it.
bool showActive(QWidget& window);

// The window's child of that class and objectName; throws (failing the test)
// when there is none.
template <typename Widget>
Widget& childNamed(const QWidget& window, const char* objectName) {
    auto* found = window.findChild<Widget*>(QString::fromLatin1(objectName));
    if (!found) throw std::runtime_error(std::string("no control named ") + objectName);
    return *found;
}

}  // namespace quorbel::testing
