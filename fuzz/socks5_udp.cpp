// Datagrams that arrive from a SOCKS5 UDP relay, read for their source
// address and payload.
#include "CorvaneCore/Proxy/SOCKS5.hpp"
#include "CorvaneCore/Support/Unicode.hpp"
#include "FuzzCheck.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace corvane;
using SOCKS5::ProtocolError;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const SOCKS5::ByteView datagram(data, size);
    SOCKS5::UDPDatagram received;
    try {
        received = SOCKS5::decapsulateUDP(datagram);
    } catch (const ProtocolError&) {
        return 0;
    }
    FUZZ_CHECK(unicode::isValidUTF8(received.host));
    // The payload is the datagram's tail, after the header.
    FUZZ_CHECK(received.payload.size() <= size - 4);
    FUZZ_CHECK(std::equal(received.payload.begin(), received.payload.end(), data + size - received.payload.size()));

    // Sent back to the same source, the datagram reads as the same one.
    SOCKS5::Bytes sent;
    try {
        sent = SOCKS5::encapsulateUDP(received.payload, received.host, received.port);
    } catch (const ProtocolError& error) {
        FUZZ_CHECK(error.kind() == ProtocolError::Kind::hostnameTooLong);
        return 0;
    }
    const SOCKS5::UDPDatagram again = SOCKS5::decapsulateUDP(sent);
    FUZZ_CHECK(again.port == received.port);
    FUZZ_CHECK(again.payload == received.payload);
    FUZZ_CHECK(SOCKS5::encapsulateUDP(again.payload, again.host, again.port) == sent);
    return 0;
}
