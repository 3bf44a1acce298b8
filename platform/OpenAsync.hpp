#pragma once

#include <memory>

#include <asio/awaitable.hpp>

#include "platform/AppProxyFlow.hpp"

namespace corvane::platform {

// Opens the flow with no local endpoint and resumes on the awaiting coroutine's
// executor. Throws std::system_error with the open's error.
asio::awaitable<void> openAsync(std::shared_ptr<AppProxyFlow> flow);

}  // namespace corvane::platform
