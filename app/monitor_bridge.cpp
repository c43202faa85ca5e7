#include "app/monitor_bridge.h"

#include <QMetaObject>

namespace quorbel {

MonitorBridge::MonitorBridge(std::shared_ptr<TimedRoundGate> gate, QObject* window, MonitorView* view, QTimer* timer)
    : gate_(std::move(gate)), window_(window), view_(view), timer_(timer) {}

void MonitorBridge::detach() {
    std::lock_guard lock(mutex_);
    window_ = nullptr;
    view_ = nullptr;
    timer_ = nullptr;
}

template <typename Call>
void MonitorBridge::post(Call call) {
    // Holding the lock while posting: detach() cannot complete in between,
    // and a call posted before it is dropped with the window's events.
    std::lock_guard lock(mutex_);
    if (!window_) return;
    MonitorView* view = view_;
    QMetaObject::invokeMethod(window_, [view, call] { call(*view); }, Qt::QueuedConnection);
}

void MonitorBridge::probingImpossible(const std::string& reason) {
    post([reason](MonitorView& view) { view.showProbingImpossible(reason); });
}

void MonitorBridge::probingRestored() {
    post([](MonitorView& view) { view.showProbingRestored(); });
}

void MonitorBridge::triggerFired(const FireReport& report) {
    post([report](MonitorView& view) { view.showTriggerFired(report); });
}

void MonitorBridge::shutdownFinished(const ShutdownReport& report) {
    post([report](MonitorView& view) { view.showShutdownFinished(report); });
}

void MonitorBridge::stopTimedRounds() {
    // The gate takes effect at once; the timer itself belongs to the GUI thread.
    gate_->close();
    std::lock_guard lock(mutex_);
    if (timer_) QMetaObject::invokeMethod(timer_, &QTimer::stop, Qt::QueuedConnection);
}

}  // namespace quorbel
