#pragma once

#include <string>
#include <utility>

namespace quorbel {

// The outcome of an operation that can fail: success, or a message that
// says what failed and why, ready to be shown to the operator or logged.
class Status {
public:
    static Status success() { return Status(); }
    static Status failure(std::string message) { return Status(std::move(message), Kind::Failed); }

    bool ok() const { return kind_ == Kind::Succeeded; }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return message_; }

private:
    enum class Kind { Succeeded, Failed };
    Status() = default;
    Status(std::string message, Kind kind) : message_(std::move(message)), kind_(kind) {}

    std::string message_;
    Kind kind_ = Kind::Succeeded;
};

}  // namespace quorbel
