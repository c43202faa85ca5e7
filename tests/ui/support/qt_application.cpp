#include "tests/ui/support/qt_application.h"

#include <QApplication>
#include <QByteArray>
#include <QTest>

#include <gtest/gtest.h>

namespace quorbel::testing {
namespace {

// Destroys the application once every test has run, while the rest of the
// program (and Qt's own statics) is still alive.
class ApplicationTeardown : public ::testing::Environment {
public:
    explicit ApplicationTeardown(QApplication* application) : application_(application) {}
    void TearDown() override {
        delete application_;
        application_ = nullptr;
    }

private:
    QApplication* application_;
};

}  // namespace

QApplication& ensureQtApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    static int argumentCount = 1;
    static char programName[] = "quorbel-test";
    static char* arguments[] = {programName, nullptr};
    auto* application = new QApplication(argumentCount, arguments);
    ::testing::AddGlobalTestEnvironment(new ApplicationTeardown(application));
    return *application;
}

bool showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

}  // namespace quorbel::testing
