#include "CorvaneCore/Models/RuleMatchMode.hpp"
#include "CorvaneCore/Models/TransportProtocol.hpp"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(RawTextEnumTest, TransportProtocolAndMatchMode) {
    EXPECT_EQ(allTransportProtocols, (std::array{TransportProtocol::tcp, TransportProtocol::udp}));
    EXPECT_EQ(toString(TransportProtocol::tcp), "tcp");
    EXPECT_EQ(toString(TransportProtocol::udp), "udp");
    EXPECT_EQ(transportProtocolFromString("udp"), TransportProtocol::udp);
    EXPECT_EQ(transportProtocolFromString("UDP"), std::nullopt);
    EXPECT_EQ(toString(RuleMatchMode::all), "all");
    EXPECT_EQ(toString(RuleMatchMode::any), "any");
    EXPECT_EQ(ruleMatchModeFromString("any"), RuleMatchMode::any);
    EXPECT_EQ(ruleMatchModeFromString("Any"), std::nullopt);
    EXPECT_EQ(ruleMatchModeFromString(""), std::nullopt);
}

}  // namespace
}  // namespace corvane
