#pragma once

#include <string>

namespace quorbel {

// Where the monitor and the shutdown sequence record what they decided and
// why, so an operator can see afterwards why the machine went down or not.
class EventLog {
public:
    virtual ~EventLog() = default;
    virtual void info(const std::string& message) = 0;
    virtual void error(const std::string& message) = 0;
};

// The system log (syslog(3)), which the journal collects.
class SystemEventLog : public EventLog {
public:
    SystemEventLog();
    ~SystemEventLog() override;
    void info(const std::string& message) override;
    void error(const std::string& message) override;
};

}  // namespace quorbel
