#include "platform/Error.hpp"

#include <cerrno>

#include <asio/error.hpp>
#include <gtest/gtest.h>

namespace corvane::platform {
namespace {

TEST(PosixCode, AgreesAcrossAsioSystemAndGenericCategories) {
    EXPECT_EQ(posixCode(asio::error::connection_refused), ECONNREFUSED);
    EXPECT_EQ(posixCode(asio::error::operation_aborted), ECANCELED);
    EXPECT_EQ(posixCode(std::error_code(EPIPE, std::system_category())), EPIPE);
    EXPECT_EQ(posixCode(std::make_error_code(std::errc::not_connected)), ENOTCONN);
    EXPECT_TRUE(isPosixError(asio::error::connection_refused, ECONNREFUSED));
    EXPECT_TRUE(isPosixError(connectionRefused(), ECONNREFUSED));
}

TEST(PosixCode, IsAbsentForNoErrorAndForOtherCategories) {
    EXPECT_EQ(posixCode(Error{}), std::nullopt);
    EXPECT_EQ(posixCode(asio::error::eof), std::nullopt);               // asio.misc
    EXPECT_EQ(posixCode(asio::error::host_not_found), std::nullopt);    // asio.netdb
    EXPECT_FALSE(isPosixError(asio::error::eof, asio::error::eof));
}

}  // namespace
}  // namespace corvane::platform
