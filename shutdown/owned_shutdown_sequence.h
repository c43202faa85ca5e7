#pragma once

#include <memory>
#include <utility>

#include "shutdown/shutdown_sequence.h"

namespace quorbel {

// A shutdown sequence's collaborators, shared with whoever else uses them.
struct ShutdownParts {
    std::shared_ptr<const SettingsStore> settings;
    std::shared_ptr<TaskRunner> tasks;
    std::shared_ptr<ShutdownBackend> backend;
    std::shared_ptr<const WallClock> clock;
    std::shared_ptr<EventLog> log;
};

// A sequence that keeps its collaborators alive for as long as anyone holds
// it: a probe worker may still run it after the window that made it is gone.
inline std::shared_ptr<ShutdownSequence> makeShutdownSequence(ShutdownParts parts) {
    struct Owner {
        explicit Owner(ShutdownParts owned)
            : parts(std::move(owned)),
              sequence(*parts.settings, *parts.tasks, *parts.backend, *parts.clock, *parts.log) {}
        ShutdownParts parts;
        ShutdownSequence sequence;
    };
    auto owner = std::make_shared<Owner>(std::move(parts));
    return std::shared_ptr<ShutdownSequence>(owner, &owner->sequence);
}

}  // namespace quorbel
