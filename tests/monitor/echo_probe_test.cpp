#include "monitor/echo_probe.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/capability.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "monitor/icmp_packet.h"
#include "tests/support/network_namespace.h"

namespace quorbel {
namespace {

using namespace std::chrono_literals;
using testing::NetworkNamespace;
using testing::VethNetwork;

constexpr const char* kUntouched = "untouched";
constexpr std::uint32_t kUntouchedStatus = 12345;

std::uint32_t ipv4Address(const std::string& text) {
    in_addr parsed{};
    EXPECT_EQ(::inet_pton(AF_INET, text.c_str(), &parsed), 1) << text;
    return parsed.s_addr;
}

struct ProbeRun {
    ProbeResult result;
    EchoReply reply;
    std::string statusText = kUntouched;
    std::chrono::milliseconds wall{0};
};

ProbeRun runProbe(const std::string& host, int timeoutMs) {
    ProbeRun run;
    run.reply.status = kUntouchedStatus;
    SystemEchoProber prober;
    const auto start = std::chrono::steady_clock::now();
    run.result = prober.probe(host, timeoutMs, run.reply, run.statusText);
    run.wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return run;
}

// Probes from a thread inside `space` only, never from this machine's own network.
ProbeRun runProbeInside(const NetworkNamespace& space, const std::string& host, int timeoutMs) {
    ProbeRun run;
    const bool entered = space.runInside([&] { run = runProbe(host, timeoutMs); });
    EXPECT_TRUE(entered) << "cannot enter network namespace " << space.name();
    return run;
}

TEST(EchoProbeTest, LoopbackAnswersQuickly) {
    const ProbeRun run = runProbe("127.0.0.1", 2000);
    if (run.result.localFailure) GTEST_SKIP() << "this machine allows no ICMP socket: " << *run.result.localFailure;
    EXPECT_GE(run.result.elapsedMs, 0);
    EXPECT_LT(run.result.elapsedMs, 1000);
    EXPECT_EQ(run.statusText, "成功");
    EXPECT_EQ(run.reply.status, static_cast<std::uint32_t>(EchoSuccess));
    EXPECT_EQ(run.reply.address, ipv4Address("127.0.0.1"));
    EXPECT_EQ(run.reply.roundTripTime, static_cast<std::uint32_t>(run.result.elapsedMs));
    EXPECT_GT(run.reply.ttl, 0);

    EchoReply reply;
    std::string statusText;
    const int elapsedMs = probe("127.0.0.1", 2000, reply, statusText);
    EXPECT_GE(elapsedMs, 0);
    EXPECT_EQ(statusText, "成功");
}

enum class SocketPath { Ping, Raw };

// Ping sockets are allowed or refused per network namespace; the check that
// follows makes sure the probe really takes the path the test is about.
::testing::AssertionResult chooseSocketPath(VethNetwork& network, SocketPath path) {
    const char* range = path == SocketPath::Ping ? "0 2147483647" : "1 0";
    if (!network.client().setSysctl("net.ipv4.ping_group_range", range)) {
        return ::testing::AssertionFailure() << network.failures();
    }
    bool pingSocketOpens = false;
    const bool entered = network.client().runInside([&] {
        const int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        pingSocketOpens = descriptor >= 0;
        if (descriptor >= 0) ::close(descriptor);
    });
    if (!entered) return ::testing::AssertionFailure() << "cannot enter " << network.client().name();
    if (pingSocketOpens != (path == SocketPath::Ping)) {
        return ::testing::AssertionFailure() << "ping sockets " << (pingSocketOpens ? "open" : "are refused")
                                             << " with ping_group_range \"" << range << '"';
    }
    return ::testing::AssertionSuccess();
}

class EchoProbeNamespaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto reason = VethNetwork::unavailableReason()) GTEST_SKIP() << *reason;
        network_ = std::make_unique<VethNetwork>();
        ASSERT_TRUE(network_->ready()) << network_->failures();
    }

    std::unique_ptr<VethNetwork> network_;
};

// Inside the namespace nothing but the veth link exists, so even a resolver
// that invents addresses could not send our echo anywhere.
TEST_F(EchoProbeNamespaceTest, UnresolvableTextIsAMissWithoutStatus) {
    const std::string hosts[] = {"no-such-host.invalid", "999.1.1.1", "", std::string("127.0.0.1\0junk", 14)};
    for (const std::string& host : hosts) {
        const ProbeRun run = runProbeInside(network_->client(), host, 300);
        EXPECT_EQ(run.result.elapsedMs, -1) << host;
        EXPECT_FALSE(run.result.localFailure) << host;
        EXPECT_EQ(run.statusText, kUntouched) << host;
        EXPECT_EQ(run.reply.status, kUntouchedStatus) << host;
    }
}

// The server becomes a router that reports failed deliveries without delay.
bool makeServerARouter(VethNetwork& network) {
    return network.server().setSysctl("net.ipv4.ip_forward", "1") &&
           network.server().setSysctl("net.ipv4.icmp_ratelimit", "0");
}

bool routeThroughServer(VethNetwork& network, const char* prefix) {
    return network.client().ip({"route", "add", prefix, "via", VethNetwork::kServerAddress});
}

bool leaveAsIs(VethNetwork&) { return true; }
bool silenceServer(VethNetwork& network) { return network.silenceServer(); }
bool cutLinkAtServer(VethNetwork& network) { return network.cutLinkAtServer(); }
bool cutLinkAtClient(VethNetwork& network) { return network.cutLinkAtClient(); }

bool unreachableRouteAtServer(VethNetwork& network) {
    return makeServerARouter(network) && routeThroughServer(network, "10.200.1.0/24") &&
           network.server().ip({"route", "add", "unreachable", "10.200.1.1"});
}

bool noRouteAtServer(VethNetwork& network) {
    return makeServerARouter(network) && routeThroughServer(network, "10.200.2.0/24");
}

// The server would send the packet back to the client, but it arrives with no hops left.
bool ttlRunsOutAtServer(VethNetwork& network) {
    return makeServerARouter(network) && routeThroughServer(network, "10.200.3.0/24") &&
           network.server().ip({"route", "add", "10.200.3.0/24", "via", VethNetwork::kClientAddress}) &&
           network.client().setSysctl("net.ipv4.ip_default_ttl", "1");
}

struct Scenario {
    const char* name;
    bool (*arrange)(VethNetwork&);
    const char* target;
    int timeoutMs;
    const char* statusText;
    const char* responder;  // nullptr when nobody answers
};

constexpr const char* kAnswered = "成功";
constexpr const char* kTimedOut = "请求超时";

const Scenario kScenarios[] = {
    {"HostAnswers", leaveAsIs, VethNetwork::kServerAddress, 3000, kAnswered, VethNetwork::kServerAddress},
    {"HostIgnoresEcho", silenceServer, VethNetwork::kServerAddress, 300, kTimedOut, nullptr},
    {"LinkCutAtHost", cutLinkAtServer, VethNetwork::kServerAddress, 300, kTimedOut, nullptr},
    {"LinkCutHere", cutLinkAtClient, VethNetwork::kServerAddress, 3000, "目标网络不可到达", nullptr},
    {"RouterReportsHostUnreachable", unreachableRouteAtServer, "10.200.1.1", 3000, "目标主机不可到达",
     VethNetwork::kServerAddress},
    {"RouterReportsNetworkUnreachable", noRouteAtServer, "10.200.2.1", 3000, "目标网络不可到达",
     VethNetwork::kServerAddress},
    {"RouterReportsTtlExpired", ttlRunsOutAtServer, "10.200.3.1", 3000, "ttl   响应超时",
     VethNetwork::kServerAddress},
};

void PrintTo(SocketPath path, std::ostream* out) { *out << (path == SocketPath::Ping ? "ping socket" : "raw socket"); }
void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

class EchoProbeNetworkTest : public EchoProbeNamespaceTest,
                             public ::testing::WithParamInterface<std::tuple<SocketPath, Scenario>> {};

TEST_P(EchoProbeNetworkTest, OnlyTheTargetsEchoReplyCountsAsAnswered) {
    const auto& [path, scenario] = GetParam();
    ASSERT_TRUE(chooseSocketPath(*network_, path));
    ASSERT_TRUE(scenario.arrange(*network_)) << network_->failures();

    const ProbeRun run = runProbeInside(network_->client(), scenario.target, scenario.timeoutMs);

    ASSERT_FALSE(run.result.localFailure) << *run.result.localFailure;
    EXPECT_EQ(run.statusText, scenario.statusText);
    EXPECT_EQ(run.reply.address, scenario.responder ? ipv4Address(scenario.responder) : 0u);
    if (scenario.statusText == kAnswered) {
        EXPECT_GE(run.result.elapsedMs, 0);
        EXPECT_LT(run.result.elapsedMs, 1000);
        EXPECT_EQ(run.reply.ttl, 64);
    } else {
        EXPECT_EQ(run.result.elapsedMs, -1);
    }
    if (scenario.statusText == kTimedOut) {
        EXPECT_GE(run.wall.count(), scenario.timeoutMs) << "gave up before the timeout";
    } else {
        EXPECT_LT(run.wall.count(), scenario.timeoutMs / 2) << "should end at once, not at the deadline";
    }
}

std::string scenarioTestName(const ::testing::TestParamInfo<EchoProbeNetworkTest::ParamType>& info) {
    const bool ping = std::get<0>(info.param) == SocketPath::Ping;
    return std::string(ping ? "PingSocket" : "RawSocket") + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, EchoProbeNetworkTest,
                         ::testing::Combine(::testing::Values(SocketPath::Ping, SocketPath::Raw),
                                            ::testing::ValuesIn(kScenarios)),
                         scenarioTestName);

// Echo replies from the server's address with identifiers of nobody's probe.
void injectForeignReplies(const std::atomic<bool>& done, std::atomic<int>& injected) {
    const int descriptor = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (descriptor < 0) return;
    sockaddr_in client{};
    client.sin_family = AF_INET;
    client.sin_addr.s_addr = ipv4Address(VethNetwork::kClientAddress);
    std::mt19937 random(std::random_device{}());
    while (!done) {
        auto reply = buildEchoRequest(EchoTag{static_cast<std::uint16_t>(random()), static_cast<std::uint16_t>(random())});
        reply[0] = kIcmpEchoReplyType;
        reply[2] = reply[3] = 0;
        const std::uint16_t checksum = internetChecksum(reply);
        reply[2] = static_cast<std::uint8_t>(checksum >> 8);
        reply[3] = static_cast<std::uint8_t>(checksum);
        if (::sendto(descriptor, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&client),
                     sizeof client) == static_cast<ssize_t>(reply.size())) {
            ++injected;
        }
        std::this_thread::sleep_for(1ms);
    }
    ::close(descriptor);
}

// A raw socket sees every ICMP packet of its namespace: while one probe waits
// on a silent host, replies to neighbouring probes and forged replies from the
// silent host's own address arrive, and none of them may end its wait.
TEST_F(EchoProbeNamespaceTest, RawProbeTakesOnlyItsOwnReply) {
    ASSERT_TRUE(chooseSocketPath(*network_, SocketPath::Raw));
    ASSERT_TRUE(network_->silenceServer()) << network_->failures();

    std::atomic<bool> done{false};
    std::atomic<int> injected{0};
    std::atomic<int> neighbourAnswers{0};
    std::atomic<int> neighbourFailures{0};
    std::atomic<int> threadsOutside{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        if (!network_->server().enterOnThisThread()) {
            ++threadsOutside;
            return;
        }
        injectForeignReplies(done, injected);
    });
    for (int neighbour = 0; neighbour < 4; ++neighbour) {
        threads.emplace_back([&, neighbour] {
            if (!network_->client().enterOnThisThread()) {
                ++threadsOutside;
                return;
            }
            const std::string own = "127.0.0." + std::to_string(neighbour + 2);
            while (!done) {
                const ProbeRun run = runProbe(own, 1000);
                const bool answeredByOwn = run.result.elapsedMs >= 0 && run.reply.address == ipv4Address(own);
                ++(answeredByOwn ? neighbourAnswers : neighbourFailures);
            }
        });
    }
    std::this_thread::sleep_for(50ms);
    const ProbeRun silent = runProbeInside(network_->client(), VethNetwork::kServerAddress, 500);
    done = true;
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(threadsOutside, 0);
    EXPECT_EQ(silent.result.elapsedMs, -1);
    EXPECT_EQ(silent.statusText, kTimedOut);
    EXPECT_EQ(silent.reply.address, 0u);
    EXPECT_GT(injected, 0);
    EXPECT_GT(neighbourAnswers, 0);
    EXPECT_EQ(neighbourFailures, 0);
}

struct ChildReport {
    bool entered = false;
    bool capabilityDropped = false;
    int elapsedMs = 0;
    bool hasLocalFailure = false;
    bool statusTouched = false;
    char localFailure[256] = {};
};

bool dropRawSocketCapability() {
    cap_t capabilities = ::cap_get_proc();
    if (!capabilities) return false;
    const cap_value_t rawSocket[] = {CAP_NET_RAW};
    const bool dropped = ::cap_set_flag(capabilities, CAP_EFFECTIVE, 1, rawSocket, CAP_CLEAR) == 0 &&
                         ::cap_set_flag(capabilities, CAP_PERMITTED, 1, rawSocket, CAP_CLEAR) == 0 &&
                         ::cap_set_proc(capabilities) == 0;
    ::cap_free(capabilities);
    return dropped;
}

// Runs in a forked child: keeps to plain calls, reports through the pipe, never returns.
[[noreturn]] void probeWithoutIcmpSockets(const NetworkNamespace& space, int reportPipe) {
    ChildReport report;
    report.entered = space.enterOnThisThread();
    report.capabilityDropped = report.entered && dropRawSocketCapability();
    if (report.capabilityDropped) {
        EchoReply reply;
        std::string statusText = kUntouched;
        const ProbeResult result = SystemEchoProber().probe("127.0.0.1", 300, reply, statusText);
        report.elapsedMs = result.elapsedMs;
        report.hasLocalFailure = result.localFailure.has_value();
        if (result.localFailure) {
            std::strncpy(report.localFailure, result.localFailure->c_str(), sizeof report.localFailure - 1);
        }
        report.statusTouched = statusText != kUntouched;
    }
    const ssize_t written = ::write(reportPipe, &report, sizeof report);
    ::_exit(written == static_cast<ssize_t>(sizeof report) ? 0 : 1);
}

TEST_F(EchoProbeNamespaceTest, RefusedIcmpSocketsAreReportedAsLocal) {
    ASSERT_TRUE(chooseSocketPath(*network_, SocketPath::Raw));
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0) probeWithoutIcmpSockets(network_->client(), pipeEnds[1]);
    ::close(pipeEnds[1]);
    ChildReport report;
    const ssize_t received = ::read(pipeEnds[0], &report, sizeof report);
    ::close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(received, static_cast<ssize_t>(sizeof report)) << "child wait status " << status;

    ASSERT_TRUE(report.entered);
    ASSERT_TRUE(report.capabilityDropped);
    EXPECT_EQ(report.elapsedMs, -1);
    EXPECT_TRUE(report.hasLocalFailure);
    EXPECT_STRNE(report.localFailure, "");
    EXPECT_FALSE(report.statusTouched);
}

}  // namespace
}  // namespace quorbel
