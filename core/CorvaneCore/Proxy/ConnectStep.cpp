#include "CorvaneCore/Proxy/ConnectStep.hpp"

#include "CorvaneCore/Matching/IPAddressValue.hpp"
#include "CorvaneCore/Support/PosixErrorCode.hpp"
#include "CorvaneCore/Proxy/ProxyClient.hpp"

#include <sys/socket.h>

#include <cerrno>

namespace corvane::detail {
namespace {

asio::ip::address toAsio(const IPAddressValue& value) {
    if (const auto* v4 = std::get_if<IPAddressValue::V4>(&value.value())) return asio::ip::address_v4(v4->value);
    return asio::ip::address_v6(std::get<IPAddressValue::V6>(value.value()).bytes);
}

}  // namespace

asio::awaitable<AddressList> addressesOf(std::string host, Deadline& deadline) {
    if (const auto literal = IPAddressValue::fromString(host)) co_return AddressList{toAsio(*literal)};
    std::error_code error;
    const asio::cancellation_slot slot = co_await deadline.operationSlot();
    AddressList addresses = co_await asyncResolve(
        std::move(host), asio::bind_cancellation_slot(slot, asio::redirect_error(asio::use_awaitable, error)));
    deadline.operationDone();
    checkDeadline(deadline);
    if (error) throw ProxyClientError::unreachable(error);
    co_return addresses;
}

std::error_code applySocketMark(int nativeHandle) {
    const std::uint32_t mark = ProxyClient::socketMark.load();
    if (mark == 0) return {};
    if (setsockopt(nativeHandle, SOL_SOCKET, SO_MARK, &mark, sizeof mark) != 0) {
        return {errno, asio::system_category()};
    }
    return {};
}

void checkDeadline(const Deadline& deadline) {
    if (deadline.expired()) throw ProxyClientError::timedOut();
    if (deadline.cancelled()) throw ProxyClientError::connectionClosed();
}

ProxyClientError connectFailure(const std::error_code& error) {
    if (error == asio::error::operation_aborted) return ProxyClientError::connectionClosed();
    switch (posixCode(error).value_or(0)) {
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT: return ProxyClientError::unreachable(error);
    default: return ProxyClientError::connectionFailed(error);
    }
}

}  // namespace corvane::detail
