// Every interface header compiles on its own and together.
#include "platform/AppProxyFlow.hpp"
#include "platform/AppProxyTCPFlow.hpp"
#include "platform/AppProxyUDPFlow.hpp"
#include "platform/Bytes.hpp"
#include "platform/Clock.hpp"
#include "platform/CodeSigning.hpp"
#include "platform/ConfigValue.hpp"
#include "platform/DiversionBackend.hpp"
#include "platform/Endpoint.hpp"
#include "platform/Error.hpp"
#include "platform/ExecutablePathLookup.hpp"
#include "platform/Failure.hpp"
#include "platform/FlowMetaData.hpp"
#include "platform/HostEndpoint.hpp"
#include "platform/LogArg.hpp"
#include "platform/LogEntry.hpp"
#include "platform/LogSink.hpp"
#include "platform/Logger.hpp"
#include "platform/NetworkRule.hpp"
#include "platform/OpenAsync.hpp"
#include "platform/ProviderHost.hpp"
#include "platform/SystemExtensionMode.hpp"
#include "platform/TransparentProxyConfiguration.hpp"
#include "platform/TransparentProxyNetworkSettings.hpp"
#include "platform/TransparentProxyProvider.hpp"
#include "platform/TunnelProviderProtocol.hpp"

#include <gtest/gtest.h>

namespace corvane::platform {
namespace {

TEST(Endpoint, HostEndpointAccessor) {
    Endpoint host = HostEndpoint{"198.18.0.10", "7"};
    Endpoint other = std::monostate{};
    ASSERT_NE(hostEndpoint(host), nullptr);
    EXPECT_EQ(hostEndpoint(host)->port, "7");
    EXPECT_EQ(hostEndpoint(other), nullptr);
}

TEST(LogArg, NumbersArePublicAndTextFollowsItsMark) {
    EXPECT_EQ(LogArg::number(std::uint16_t{443}).text, "443");
    EXPECT_EQ(LogArg::number(-5L).text, "-5");
    EXPECT_TRUE(LogArg::number(1).isPublic);
    EXPECT_FALSE(LogArg::privateText("x").isPublic);
    EXPECT_TRUE(LogArg::publicText("x").isPublic);
}

}  // namespace
}  // namespace corvane::platform
