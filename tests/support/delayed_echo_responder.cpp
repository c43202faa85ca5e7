#include "tests/support/delayed_echo_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>

#include "monitor/icmp_packet.h"

namespace quorbel::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMinimumIpv4HeaderSize = 20;
constexpr std::uint8_t kIcmpProtocol = 1;
constexpr std::size_t kReceiveBufferSize = 65536;
// Bounds the reading per wake-up so replies fall due on time under a flood.
constexpr int kDatagramsPerWakeUp = 64;
// Far more than any test or bench sends at once; beyond it requests are dropped.
constexpr std::size_t kMostPending = 4096;
constexpr std::array<std::uint8_t, 1> kWantedTypes{kIcmpEchoRequestType};

std::uint16_t readBigEndian16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

std::uint32_t readAddress(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t address = 0;
    std::memcpy(&address, bytes.data() + offset, sizeof address);
    return address;
}

// A reply must come from the address asked, which a broadcast or multicast
// address cannot be.
bool isUnicast(std::uint32_t address) {
    const std::uint32_t hostOrder = ntohl(address);
    const std::uint32_t firstOctet = hostOrder >> 24;
    return hostOrder != 0 && hostOrder != 0xFFFFFFFFu && (firstOctet < 224 || firstOctet > 239);
}

struct NamespaceIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const NamespaceIdentity&, const NamespaceIdentity&) = default;
};

// Two namespace files name the same namespace when they are the same inode.
std::optional<NamespaceIdentity> namespaceIdentity(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return NamespaceIdentity{status.st_dev, status.st_ino};
}

// Sends the reply from the address the request was sent to, whatever
// address the routing table would pick for the requester.
int sendAnswer(int socket, const EchoAnswer& answer) {
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = answer.requester;
    iovec data{const_cast<std::uint8_t*>(answer.reply.data()), answer.reply.size()};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &destination;
    message.msg_namelen = sizeof destination;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo source{};
    source.ipi_spec_dst.s_addr = answer.answeredAs;
    std::memcpy(CMSG_DATA(header), &source, sizeof source);
    while (true) {
        if (::sendmsg(socket, &message, 0) >= 0) return 0;
        if (errno != EINTR) return errno;
    }
}

struct Wakeup {
    bool stopRequested = false;
    bool requestsArrived = false;
    int error = 0;
};

// Waits for a request, a stop, or the moment the next reply falls due.
Wakeup waitForWork(int socket, int stopSignal, std::optional<Clock::duration> timeout) {
    std::array<pollfd, 2> entries{pollfd{socket, POLLIN, 0}, pollfd{stopSignal, POLLIN, 0}};
    timespec limit{};
    if (timeout) {
        const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout).count();
        limit.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
        limit.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
    }
    const int ready = ::ppoll(entries.data(), entries.size(), timeout ? &limit : nullptr, nullptr);
    if (ready < 0) return Wakeup{false, false, errno == EINTR ? 0 : errno};
    return Wakeup{entries[1].revents != 0, entries[0].revents != 0, 0};
}

}  // namespace

std::optional<EchoAnswer> answerForEchoRequest(std::span<const std::uint8_t> packet) {
    if (packet.size() < kMinimumIpv4HeaderSize || (packet[0] >> 4) != 4) return std::nullopt;
    const std::size_t headerSize = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
    const std::size_t totalLength = readBigEndian16(packet, 2);
    if (headerSize < kMinimumIpv4HeaderSize || totalLength < headerSize + kIcmpHeaderSize ||
        totalLength > packet.size() || packet[9] != kIcmpProtocol) {
        return std::nullopt;
    }
    const std::span<const std::uint8_t> request = packet.subspan(headerSize, totalLength - headerSize);
    if (request[0] != kIcmpEchoRequestType || request[1] != 0 || internetChecksum(request) != 0) return std::nullopt;

    EchoAnswer answer;
    answer.requester = readAddress(packet, 12);
    answer.answeredAs = readAddress(packet, 16);
    if (!isUnicast(answer.requester) || !isUnicast(answer.answeredAs)) return std::nullopt;
    answer.reply.assign(request.begin(), request.end());
    answer.reply[0] = kIcmpEchoReplyType;
    answer.reply[2] = 0;
    answer.reply[3] = 0;
    const std::uint16_t checksum = internetChecksum(answer.reply);
    answer.reply[2] = static_cast<std::uint8_t>(checksum >> 8);
    answer.reply[3] = static_cast<std::uint8_t>(checksum & 0xFF);
    return answer;
}

DelayedEchoResponder::DelayedEchoResponder(const NetworkNamespace& space, std::chrono::milliseconds delay)
    : delay_(delay) {
    const int signal = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signal < 0) {
        failure_ = "cannot create an event descriptor: " + systemErrorText(errno);
        return;
    }
    stopSignal_ = FileDescriptor(signal);
    // The thread owns the promise, so fulfilling it never touches this frame.
    std::promise<std::string> started;
    std::future<std::string> startup = started.get_future();
    thread_ = std::thread(
        [this, &space, started = std::move(started)]() mutable { serve(space, std::move(started)); });
    failure_ = startup.get();
    if (!failure_.empty()) thread_.join();
}

DelayedEchoResponder::~DelayedEchoResponder() { stop(); }

void DelayedEchoResponder::stop() {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    // An eventfd write of 1 cannot block or fail short of overflow.
    [[maybe_unused]] const ssize_t written = ::write(stopSignal_.get(), &one, sizeof one);
    thread_.join();
}

void DelayedEchoResponder::serve(const NetworkNamespace& space, std::promise<std::string> started) {
    std::string failure = prepareInside(space);
    const bool ready = failure.empty();
    started.set_value(std::move(failure));
    if (ready) answerUntilStopped();
}

std::string DelayedEchoResponder::prepareInside(const NetworkNamespace& space) {
    if (!space.enterOnThisThread()) return "cannot enter network namespace " + space.name();
    const auto inside = namespaceIdentity("/proc/thread-self/ns/net");
    const auto wanted = namespaceIdentity("/var/run/netns/" + space.name());
    // Where init's namespace can be seen (not always, in a container), it is
    // the machine's own network and never the test's.
    const auto machine = namespaceIdentity("/proc/1/ns/net");
    if (!inside || !wanted || *inside != *wanted || inside == machine) {
        return "refusing to answer echoes: this thread is not inside network namespace " + space.name();
    }
    SocketOpening opening = openIcmpSocket(IcmpSocketKind::Raw);
    if (!opening.socket.valid()) return "cannot open a raw ICMP socket: " + systemErrorText(opening.error);
    if (const int error = blockIcmpTypesExcept(opening.socket.get(), kWantedTypes)) {
        return "cannot filter the raw ICMP socket: " + systemErrorText(error);
    }
    socket_ = std::move(opening.socket);
    return {};
}

// Every reply waits the same delay, so replies fall due in arrival order and
// a plain queue serves as the timer queue.
void DelayedEchoResponder::answerUntilStopped() {
    struct PendingReply {
        Clock::time_point due;
        EchoAnswer answer;
    };
    std::deque<PendingReply> pending;
    std::vector<std::uint8_t> buffer(kReceiveBufferSize);
    while (true) {
        std::optional<Clock::duration> timeout;
        if (!pending.empty()) timeout = std::max(Clock::duration::zero(), pending.front().due - Clock::now());
        const Wakeup wakeup = waitForWork(socket_.get(), stopSignal_.get(), timeout);
        if (wakeup.stopRequested || wakeup.error != 0) return;
        for (int count = 0; wakeup.requestsArrived && count < kDatagramsPerWakeUp; ++count) {
            const ReceivedDatagram received = receiveDatagram(socket_.get(), buffer);
            if (received.error != 0) break;
            std::optional<EchoAnswer> answer = answerForEchoRequest(std::span(buffer).first(received.length));
            if (answer && pending.size() < kMostPending) pending.push_back({Clock::now() + delay_, std::move(*answer)});
        }
        while (!pending.empty() && pending.front().due <= Clock::now()) {
            if (sendAnswer(socket_.get(), pending.front().answer) == 0) ++answered_;
            pending.pop_front();
        }
    }
}

}  // namespace quorbel::testing
