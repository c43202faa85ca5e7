#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/host_list_model.h"
#include "app/monitor_bridge.h"
#include "hostdata/host_table.h"
#include "hostdata/settings_store.h"
#include "monitor/echo_probe.h"
#include "monitor/probe_round.h"
#include "monitor/trigger.h"
#include "shutdown/event_log.h"
#include "shutdown/shutdown_sequence.h"
#include "ui/dialogs.h"

class QMenu;
class QSessionManager;

namespace quorbel {

// Everything the main window needs from outside: the real program passes
// the system's services, tests pass fakes.
struct MainWindowServices {
    std::filesystem::path dataDirectory;
    std::shared_ptr<EchoProber> prober;
    std::shared_ptr<ShutdownSequence> shutdownSequence;
    std::shared_ptr<EventLog> log;
    Dialogs* dialogs = nullptr;
    std::chrono::milliseconds probePeriod{15000};
    ProbeTiming probeTiming;
    // Whether the desktop shows a notification area; asked when hiding.
    std::function<bool()> trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
};

// Toolbar positions as the click reports them, the separator included.
enum class ToolbarAction : int {
    Refresh = 0,
    Add = 1,
    Delete = 2,
    Separator = 3,
    Settings = 4,
    Help = 5,
    Hide = 6,
};

class MainWindow : public QMainWindow, private MonitorView {
    Q_OBJECT
public:
    MainWindow(MainWindowServices services, std::shared_ptr<SettingsStore> settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    std::shared_ptr<HostTable> table() const { return table_; }
    const ProbeRound& probeRound() const { return *round_; }
    QTimer& probeTimer() { return probeTimer_; }
    QSystemTrayIcon& trayIcon() { return trayIcon_; }
    QString statusText() const;
    const HostListModel& listModel() const { return *model_; }

    // The toolbar's click, by 0-based position.
    void toolbarClicked(int position);
    // A mouse action on the tray icon.
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    // The tray menu's entries.
    void openSettings();
    void openHelp();
    void exitFromTray();

    // The selected row's index in the list, or -1.
    int selectedRow() const;

signals:
    void statusChanged(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildToolbar();
    void buildList();
    void buildTray();
    void loadHostList();
    void deleteSelectedHost();
    void saveHostList();
    void hideToTray();
    bool confirmClose();
    void answerSessionQuery(QSessionManager& manager);
    void openModal(QPointer<QDialog>& slot, const std::function<QDialog*()>& create);
    void setStatus(const QString& text);

    void showProbingImpossible(const std::string& reason) override;
    void showProbingRestored() override;
    void showTriggerFired(const FireReport& report) override;
    void showShutdownFinished(const ShutdownReport& report) override;

    MainWindowServices services_;
    std::shared_ptr<SettingsStore> settings_;
    std::shared_ptr<HostTable> table_;
    std::shared_ptr<TimedRoundGate> gate_;
    std::shared_ptr<MonitorBridge> bridge_;
    std::shared_ptr<Trigger> trigger_;
    std::unique_ptr<ProbeRound> round_;

    QToolBar* mainToolbar_ = nullptr;
    QTableView* listView_ = nullptr;
    HostListModel* model_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QTimer probeTimer_;
    QSystemTrayIcon trayIcon_;
    QMenu* trayMenu_ = nullptr;
    bool trayAdded_ = false;
    // Set once a shutdown that this program asked for was accepted: its own
    // close confirmation must not hold that shutdown up.
    bool ownShutdownUnderway_ = false;
    bool closeConfirmed_ = false;

    QPointer<QDialog> settingsWindow_;
    QPointer<QDialog> addHostWindow_;
    QPointer<QDialog> helpWindow_;
};

}  // namespace quorbel
