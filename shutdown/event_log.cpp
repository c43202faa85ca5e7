#include "shutdown/event_log.h"

#include <syslog.h>

namespace quorbel {

SystemEventLog::SystemEventLog() {
    // The ident must outlive the log, so it is a literal.
    ::openlog("quorbel", LOG_PID, LOG_USER);
}

// The log stays open: closelog() would also drop the ident for any other
// instance, and the process logs until it ends.
SystemEventLog::~SystemEventLog() = default;

void SystemEventLog::info(const std::string& message) { ::syslog(LOG_INFO, "%s", message.c_str()); }

void SystemEventLog::error(const std::string& message) { ::syslog(LOG_ERR, "%s", message.c_str()); }

}  // namespace quorbel
