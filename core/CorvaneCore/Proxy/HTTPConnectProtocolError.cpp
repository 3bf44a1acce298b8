#include "CorvaneCore/Proxy/HTTPConnectProtocolError.hpp"

namespace corvane::HTTPConnect {

ProtocolError::ProtocolError(Kind kind, std::int64_t status)
    : kind_(kind),
      status_(status),
      description_("The operation couldn\u2019t be completed. (HTTPConnect.ProtocolError error " +
                   std::to_string(static_cast<int>(kind)) + ".)") {}

}  // namespace corvane::HTTPConnect
