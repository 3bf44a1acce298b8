#include "CorvaneCore/Proxy/SOCKS5ProtocolError.hpp"

namespace corvane::SOCKS5 {

ProtocolError::ProtocolError(Kind kind, std::uint8_t byte)
    : kind_(kind),
      byte_(byte),
      description_("The operation couldn\u2019t be completed. (SOCKS5.ProtocolError error " +
                   std::to_string(static_cast<int>(kind)) + ".)") {}

}  // namespace corvane::SOCKS5
