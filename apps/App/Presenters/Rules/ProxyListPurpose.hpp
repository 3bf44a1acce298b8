#pragma once

namespace corvane::app {

// What the chain editor builds: a chain (every hop in order) or a failover
// list (the first proxy that accepts carries the connection).
enum class ProxyListPurpose { chain, failover };

}  // namespace corvane::app
