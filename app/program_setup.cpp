#include "app/program_setup.h"

#include <QApplication>
#include <QDir>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/state_trace.h"
#include "hostdata/data_directory.h"
#include "shutdown/owned_shutdown_sequence.h"
#include "shutdown/shell_task_runner.h"
#include "shutdown/systemd_shutdown_backend.h"

namespace quorbel {
namespace {

// The real backend and the power switch it cuts the power with.
std::shared_ptr<ShutdownBackend> systemShutdownBackend() {
    struct Owner {
        RebootPowerSwitch powerSwitch;
        SystemdShutdownBackend backend{BusAddress::systemBus(), powerSwitch};
    };
    auto owner = std::make_shared<Owner>();
    return std::shared_ptr<ShutdownBackend>(owner, &owner->backend);
}

#ifdef QUORBEL_TEST_TIMING
// Test builds only: the end-to-end tests shorten the period and timeout.
int testTiming(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : fallback;
}
#endif

void applyTestTiming(MainWindowServices& services) {
#ifdef QUORBEL_TEST_TIMING
    services.probePeriod = std::chrono::milliseconds(testTiming("QUORBEL_TEST_PERIOD_MS", 15000));
    services.probeTiming.timeoutMs = testTiming("QUORBEL_TEST_TIMEOUT_MS", 0);
#else
    (void)services;
#endif
}

}  // namespace

int runProgram(QApplication& application) {
    const std::filesystem::path programDirectoryPath = programDirectory();
    QDir::setCurrent(QString::fromStdString(programDirectoryPath.string()));
    const std::filesystem::path dataDirectoryPath = dataDirectory(programDirectoryPath);

    auto settings = std::make_shared<SettingsStore>(dataDirectoryPath / kSettingsFileName);
    auto log = std::make_shared<SystemEventLog>();
    QtDialogs dialogs;

    MainWindowServices services;
    services.dataDirectory = dataDirectoryPath;
    services.prober = std::make_shared<SystemEchoProber>();
    services.log = log;
    services.dialogs = &dialogs;
    services.shutdownSequence = makeShutdownSequence(
        {settings, std::make_shared<ShellTaskRunner>(), systemShutdownBackend(), std::make_shared<SystemWallClock>(), log});
    applyTestTiming(services);

    auto window = std::make_unique<MainWindow>(std::move(services), settings);
#ifdef QUORBEL_TEST_TIMING
    if (std::getenv("QUORBEL_TEST_STATE_TRACE")) new StateTrace(*window, stdout);
#endif
    window->show();
    const int status = application.exec();
    window.reset();
    return status;
}

}  // namespace quorbel
