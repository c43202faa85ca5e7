#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <mutex>

#include "monitor/monitor_events.h"
#include "monitor/probe_round.h"
#include "monitor/trigger.h"

namespace quorbel {

// What the main window does with the monitor's news, on the GUI thread.
class MonitorView {
public:
    virtual ~MonitorView() = default;
    virtual void showProbingImpossible(const std::string& reason) = 0;
    virtual void showProbingRestored() = 0;
    virtual void showTriggerFired(const FireReport& report) = 0;
    virtual void showShutdownFinished(const ShutdownReport& report) = 0;
};

// Carries the monitor's news from probe workers to the main window, and
// stops the window's timer when the trigger fires. Workers may outlive the
// window: after detach() nothing reaches it any more.
class MonitorBridge : public MonitorEvents, public TimedRounds {
public:
    MonitorBridge(std::shared_ptr<TimedRoundGate> gate, QObject* window, MonitorView* view, QTimer* timer);
    void detach();

    void probingImpossible(const std::string& reason) override;
    void probingRestored() override;
    void triggerFired(const FireReport& report) override;
    void shutdownFinished(const ShutdownReport& report) override;
    void stopTimedRounds() override;

private:
    template <typename Call>
    void post(Call call);

    std::shared_ptr<TimedRoundGate> gate_;
    std::mutex mutex_;
    QObject* window_;
    MonitorView* view_;
    QTimer* timer_;
};

}  // namespace quorbel
