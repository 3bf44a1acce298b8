#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "CorvaneCore/Proxy/ProxyClientError.hpp"

#include <asio/error.hpp>
#include <gtest/gtest.h>

#include <cerrno>

namespace corvane {
namespace {

TEST(ProxyClientErrorTest, FixedTexts) {
    EXPECT_EQ(ProxyClientError::invalidProxyEndpoint().errorDescription(), "Invalid proxy host or port.");
    EXPECT_EQ(ProxyClientError::connectionClosed().errorDescription(), "The proxy closed the connection.");
    EXPECT_EQ(ProxyClientError::udpUnsupported().errorDescription(), "This proxy type cannot carry UDP.");
    EXPECT_EQ(ProxyClientError::emptyChain().errorDescription(), "No proxy configured.");
    EXPECT_STREQ(ProxyClientError::emptyChain().what(), "No proxy configured.");
}

TEST(ProxyClientErrorTest, TimedOutNamesTheTimeOutInWholeSeconds) {
    const double saved = ProxyClient::connectTimeout;
    EXPECT_EQ(saved, 10.0);
    EXPECT_EQ(ProxyClientError::timedOut().errorDescription(),
              "Timed out after 10 s \u2014 the proxy did not respond.");
    ProxyClient::connectTimeout = 2.9;
    EXPECT_EQ(ProxyClientError::timedOut().errorDescription(), "Timed out after 2 s \u2014 the proxy did not respond.");
    ProxyClient::connectTimeout = saved;
}

TEST(ProxyClientErrorTest, NetworkErrorsAreDescribedByName) {
    struct Case {
        std::error_code error;
        std::string text;
    };
    const Case cases[] = {
        {asio::error::connection_refused, "Connection refused \u2014 nothing is listening on that port."},
        {std::error_code(ECONNREFUSED, std::system_category()),
         "Connection refused \u2014 nothing is listening on that port."},
        {std::make_error_code(std::errc::connection_refused),
         "Connection refused \u2014 nothing is listening on that port."},
        {asio::error::network_unreachable, "No route to the proxy host."},
        {asio::error::host_unreachable, "No route to the proxy host."},
        {asio::error::timed_out, "The proxy did not respond."},
        {asio::error::connection_reset, "Connection error (ECONNRESET)."},
        {std::error_code(EPERM, std::system_category()), "Connection error (EPERM)."},
        {asio::error::host_not_found, "Could not resolve the proxy host name."},
        {asio::error::host_not_found_try_again, "Could not resolve the proxy host name."},
        {asio::error::service_not_found, "Could not resolve the proxy host name."},
        {asio::error::eof, asio::error_code(asio::error::eof).message()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProxyClientError::describe(c.error), c.text) << c.error.category().name() << c.error.value();
        EXPECT_EQ(ProxyClientError::connectionFailed(c.error).errorDescription(), c.text);
        EXPECT_EQ(ProxyClientError::unreachable(c.error).errorDescription(), c.text);
    }
}

TEST(ProxyClientErrorTest, KeepsTheUnderlyingError) {
    const auto error = ProxyClientError::connectionFailed(asio::error::connection_reset);
    EXPECT_EQ(error.kind(), ProxyClientError::Kind::connectionFailed);
    EXPECT_EQ(error.error(), asio::error::connection_reset);
}

}  // namespace
}  // namespace corvane
