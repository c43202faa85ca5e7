#include "tests/support/two_host_network.h"

namespace quorbel::testing {
namespace {

constexpr const char* kHostInterface = "veth-client";

struct LinkPlan {
    const char* clientInterface;
    const char* clientAddress;
    const char* hostAddress;
};

const LinkPlan& planFor(TwoHostNetwork::Host host) {
    static const LinkPlan a{"veth-a", "10.201.0.1", "10.201.0.2"};
    static const LinkPlan b{"veth-b", "10.201.0.5", "10.201.0.6"};
    return host == TwoHostNetwork::Host::A ? a : b;
}

}  // namespace

TwoHostNetwork::TwoHostNetwork()
    : client_(std::make_unique<NetworkNamespace>()),
      hostA_(std::make_unique<NetworkNamespace>()),
      hostB_(std::make_unique<NetworkNamespace>()) {
    if (!client_->ready() || !hostA_->ready() || !hostB_->ready()) return;
    linked_ = link(Host::A) && link(Host::B);
}

bool TwoHostNetwork::link(Host host) {
    const LinkPlan& plan = planFor(host);
    NetworkNamespace& far = this->host(host);
    // Both ends are born inside the namespaces, so the machine never sees them.
    return client_->ip({"link", "add", plan.clientInterface, "type", "veth", "peer", "name", kHostInterface, "netns",
                        far.name()}) &&
           client_->ip({"addr", "add", std::string(plan.clientAddress) + "/30", "dev", plan.clientInterface}) &&
           far.ip({"addr", "add", std::string(plan.hostAddress) + "/30", "dev", kHostInterface}) &&
           client_->ip({"link", "set", plan.clientInterface, "up"}) && far.ip({"link", "set", kHostInterface, "up"});
}

bool TwoHostNetwork::ready() const { return linked_ && client_->ready() && hostA_->ready() && hostB_->ready(); }

std::string TwoHostNetwork::failures() const {
    return client_->failures() + hostA_->failures() + hostB_->failures();
}

const char* TwoHostNetwork::address(Host host) { return planFor(host).hostAddress; }

bool TwoHostNetwork::cutLink(Host host) { return this->host(host).ip({"link", "set", kHostInterface, "down"}); }

}  // namespace quorbel::testing
