#include "monitor/echo_outcome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>

#include "monitor/echo_probe.h"

namespace quorbel {
namespace {

TEST(EffectiveTimeoutTest, ZeroMeansTenSeconds) {
    const std::pair<int, int> cases[] = {{0, 10000}, {-1, 10000}, {300, 300}, {1, 1}, {60000, 60000}};
    for (const auto& [given, expected] : cases) EXPECT_EQ(effectiveTimeoutMs(given), expected) << given;
}

TEST(ProbeResultTest, OnlyAnAnswerWithinTheTimeoutCounts) {
    struct Case {
        ExchangeEnd end;
        std::int64_t elapsedMs;
        int expected;
    };
    const Case cases[] = {
        {ExchangeEnd::Answered, 0, 0},         {ExchangeEnd::Answered, 37, 37},
        {ExchangeEnd::Answered, 10000, 10000}, {ExchangeEnd::Answered, 10001, -1},
        {ExchangeEnd::IcmpError, 2, -1},       {ExchangeEnd::TimedOut, 10000, -1},
        {ExchangeEnd::SocketError, 0, -1},
    };
    for (const Case& testCase : cases) {
        EXPECT_EQ(probeResultMs(testCase.end, testCase.elapsedMs, 10000), testCase.expected)
            << static_cast<int>(testCase.end) << " after " << testCase.elapsedMs << " ms";
    }
}

TEST(StatusMappingTest, IcmpErrorsMapToTheNearestRecordStatus) {
    struct Case {
        std::uint8_t type;
        std::uint8_t code;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {3, 0, 11002}, {3, 1, 11003},  {3, 2, 11004},  {3, 3, 11005},  {3, 4, 11009},
        {3, 5, 11012}, {3, 6, 11002},  {3, 7, 11003},  {3, 9, 11002},  {3, 10, 11003},
        {3, 13, 11003}, {3, 200, 11003}, {11, 0, 11013}, {11, 1, 11014}, {12, 0, 11015},
    };
    for (const Case& testCase : cases) {
        EXPECT_EQ(statusForIcmpError(testCase.type, testCase.code), testCase.expected)
            << "type " << int(testCase.type) << " code " << int(testCase.code);
    }
}

TEST(StatusMappingTest, SocketErrorsMapToUnreachableOrGeneralFailure) {
    EXPECT_EQ(statusForSocketError(ENETUNREACH), 11002u);
    EXPECT_EQ(statusForSocketError(EHOSTUNREACH), 11003u);
    EXPECT_EQ(statusForSocketError(EPERM), 11050u);
    EXPECT_EQ(statusForSocketError(ENOBUFS), 11050u);
}

TEST(EchoStatusTextTest, GivesEachStatusItsText) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "成功"},
        {11001, "缓冲区太小"},
        {11002, "目标网络不可到达"},
        {11003, "目标主机不可到达"},
        {11004, "目标协议不可到达"},
        {11005, "目标端口不可到达"},
        {11006, "没有资源"},
        {11007, "错误的选项"},
        {11008, "未知错误"},
        {11009, "包太大"},
        {11010, "请求超时"},
        {11011, "请求错误"},
        {11012, "路由错误"},
        {11013, "ttl   响应超时"},
        {11014, "ttl   到达超时"},
        {11015, "参数问题"},
        {11016, "路源消失"},
        {11017, "选项太多"},
        {11018, "目标错误"},
        {11019, "地址被删除"},
        {11020, "特殊MTU改变"},
        {11021, "MTU改变"},
        {11022, "卸载"},
        {11023, "地址已增加"},
        {11024, "未知错误"},
        {11050, "一般性错误"},
        {11255, "解析中"},
        {500, "Ping   超时"},
        {1, "未知错误"},
        {0xFFFFFFFF, "未知错误"},
    };
    for (const auto& [status, text] : cases) EXPECT_EQ(echoStatusText(status), text) << status;
}

}  // namespace
}  // namespace quorbel
