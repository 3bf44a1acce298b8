#pragma once

#include <asio/io_context.hpp>

namespace corvane::platform::testing {

// Runs every handler that is ready, including those they post, and returns when
// nothing is runnable. Outstanding work (a coroutine waiting for a fake flow) does
// not keep it running: the test supplies the next event.
inline void runUntilIdle(asio::io_context& context) {
    context.restart();
    while (context.poll() > 0) context.restart();
}

}  // namespace corvane::platform::testing
