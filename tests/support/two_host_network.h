#pragma once

#include <memory>
#include <string>

#include "tests/support/network_namespace.h"

namespace quorbel::testing {

// A client namespace joined to two host namespaces, each by a veth pair of
// its own on its own /30:
//   client 10.201.0.1 (veth-a) <-> host A 10.201.0.2 (veth-client)
//   client 10.201.0.5 (veth-b) <-> host B 10.201.0.6 (veth-client)
// Nothing touches the machine's own network. VethNetwork::unavailableReason()
// says whether it can be built here.
class TwoHostNetwork {
public:
    enum class Host { A, B };

    TwoHostNetwork();

    bool ready() const;
    std::string failures() const;

    NetworkNamespace& client() { return *client_; }
    NetworkNamespace& host(Host host) { return host == Host::A ? *hostA_ : *hostB_; }
    // The host's address, as the client reaches it.
    static const char* address(Host host);

    // Takes the host's end of its link down: the client's end loses carrier
    // and echoes to that host go unanswered. The other link stays up.
    bool cutLink(Host host);

private:
    bool link(Host host);

    std::unique_ptr<NetworkNamespace> client_;
    std::unique_ptr<NetworkNamespace> hostA_;
    std::unique_ptr<NetworkNamespace> hostB_;
    bool linked_ = false;
};

}  // namespace quorbel::testing
