#include "monitor/icmp_socket.h"

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace quorbel {
namespace {

// strerror_r comes in a GNU and an XSI flavour; these accept either.
[[maybe_unused]] const char* chooseErrorText(const char* gnuText, const char*) { return gnuText; }
[[maybe_unused]] const char* chooseErrorText(int xsiResult, const char* buffer) {
    return xsiResult == 0 ? buffer : "unknown error";
}

sockaddr_in ipv4SocketAddress(std::uint32_t address) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = address;
    return socketAddress;
}

std::uint32_t addressOf(const sockaddr_in& socketAddress, socklen_t length) {
    if (length < sizeof socketAddress || socketAddress.sin_family != AF_INET) return 0;
    return socketAddress.sin_addr.s_addr;
}

template <typename Value>
Value copyControlData(const cmsghdr* header) {
    Value value{};
    std::memcpy(&value, CMSG_DATA(header), sizeof value);
    return value;
}

QueuedErrorOrigin originOf(std::uint8_t origin) {
    switch (origin) {
    case SO_EE_ORIGIN_ICMP:
        return QueuedErrorOrigin::Icmp;
    case SO_EE_ORIGIN_LOCAL:
        return QueuedErrorOrigin::Local;
    default:
        return QueuedErrorOrigin::Other;
    }
}

void readExtendedError(const cmsghdr* header, QueuedError& queued) {
    const auto extended = copyControlData<sock_extended_err>(header);
    queued.origin = originOf(extended.ee_origin);
    queued.reportedError = static_cast<int>(extended.ee_errno);
    queued.type = extended.ee_type;
    queued.code = extended.ee_code;
    // The kernel stores the offender's address right after the report.
    if (header->cmsg_len >= CMSG_LEN(sizeof extended + sizeof(sockaddr_in))) {
        sockaddr_in offender{};
        std::memcpy(&offender, CMSG_DATA(header) + sizeof extended, sizeof offender);
        queued.offender = addressOf(offender, sizeof offender);
    }
}

}  // namespace

FileDescriptor::~FileDescriptor() { close(); }

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept : descriptor_(other.descriptor_) {
    other.descriptor_ = -1;
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = other.descriptor_;
        other.descriptor_ = -1;
    }
    return *this;
}

void FileDescriptor::close() {
    // Linux releases the descriptor even when close reports EINTR, so no retry.
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
}

SocketOpening openIcmpSocket(IcmpSocketKind kind) {
    const int type = kind == IcmpSocketKind::Ping ? SOCK_DGRAM : SOCK_RAW;
    const int descriptor = ::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (descriptor < 0) return SocketOpening{FileDescriptor(), errno};
    return SocketOpening{FileDescriptor(descriptor), 0};
}

std::string systemErrorText(int error) {
    char buffer[256] = {};
    return chooseErrorText(::strerror_r(error, buffer, sizeof buffer), buffer);
}

std::optional<std::uint32_t> resolveIpv4Address(const std::string& hostText) {
    // Text with a NUL inside would resolve only its first part.
    if (hostText.empty() || hostText.find('\0') != std::string::npos) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(hostText.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> results(found, &::freeaddrinfo);
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addrlen < sizeof(sockaddr_in)) continue;
        sockaddr_in address{};
        std::memcpy(&address, entry->ai_addr, sizeof address);
        return address.sin_addr.s_addr;
    }
    return std::nullopt;
}

int enableSocketOption(int socket, int level, int option) {
    const int enabled = 1;
    return ::setsockopt(socket, level, option, &enabled, sizeof enabled) == 0 ? 0 : errno;
}

int blockIcmpTypesExcept(int socket, std::span<const std::uint8_t> wantedTypes) {
    icmp_filter filter{};
    filter.data = ~0u;
    for (const std::uint8_t type : wantedTypes) {
        if (type < 32) filter.data &= ~(1u << type);
    }
    return ::setsockopt(socket, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) == 0 ? 0 : errno;
}

int connectTo(int socket, std::uint32_t destination) {
    const sockaddr_in address = ipv4SocketAddress(destination);
    return ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
}

int sendDatagram(int socket, std::span<const std::uint8_t> bytes, std::uint32_t destination) {
    const sockaddr_in address = ipv4SocketAddress(destination);
    while (true) {
        const ssize_t sent = ::sendto(socket, bytes.data(), bytes.size(), 0,
                                      reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (sent >= 0) return 0;
        if (errno != EINTR) return errno;
    }
}

PollResult waitForInput(int socket, int timeoutMs) {
    pollfd entry{socket, POLLIN, 0};
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0) return PollResult{0, errno};
    return PollResult{ready == 0 ? short{0} : entry.revents, 0};
}

namespace {

// One recvmsg with room for ancillary data, retried when interrupted; calls
// `onHeader` for each control message received. Returns the length, or -1
// with `error` set.
template <typename OnHeader>
ssize_t receiveMessage(int socket, std::span<std::uint8_t> buffer, std::span<unsigned char> control, int flags,
                       sockaddr_in& peer, socklen_t& peerLength, int& error, OnHeader onHeader) {
    iovec data{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_name = &peer;
    message.msg_namelen = sizeof peer;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();

    ssize_t length = -1;
    do {
        length = ::recvmsg(socket, &message, flags | MSG_DONTWAIT);
    } while (length < 0 && errno == EINTR);
    if (length < 0) {
        error = errno;
        return length;
    }
    peerLength = message.msg_namelen;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) onHeader(header);
    return length;
}

}  // namespace

ReceivedDatagram receiveDatagram(int socket, std::span<std::uint8_t> buffer) {
    sockaddr_in source{};
    socklen_t sourceLength = 0;
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int)) * 2] = {};
    ReceivedDatagram received;
    const ssize_t length =
        receiveMessage(socket, buffer, control, 0, source, sourceLength, received.error, [&](const cmsghdr* header) {
            if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_TTL &&
                header->cmsg_len >= CMSG_LEN(sizeof(int))) {
                received.ttl = static_cast<std::uint8_t>(copyControlData<int>(header));
            }
        });
    if (length < 0) return received;
    received.length = static_cast<std::size_t>(length);
    received.source = addressOf(source, sourceLength);
    return received;
}

QueuedError receiveQueuedError(int socket, std::span<std::uint8_t> buffer) {
    sockaddr_in destination{};
    socklen_t destinationLength = 0;
    alignas(cmsghdr) unsigned char control[512] = {};
    QueuedError queued;
    const ssize_t length = receiveMessage(socket, buffer, control, MSG_ERRQUEUE, destination, destinationLength,
                                          queued.error, [&](const cmsghdr* header) {
                                              if (header->cmsg_level == IPPROTO_IP &&
                                                  header->cmsg_type == IP_RECVERR &&
                                                  header->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
                                                  readExtendedError(header, queued);
                                              }
                                          });
    if (length < 0) return queued;
    queued.length = static_cast<std::size_t>(length);
    queued.destination = addressOf(destination, destinationLength);
    return queued;
}

}  // namespace quorbel
