// Bytes a control-socket peer sends, cut into frames as the daemon reads them:
// in chunks whose sizes come from the input itself.
#include "FuzzCheck.hpp"
#include "platform/host/ControlFrame.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace corvane::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the chunk size, so frames get split at every offset.
    const std::size_t chunk = 1 + data[0] % 17;
    const std::uint8_t* stream = data + 1;
    const std::size_t length = size - 1;

    ControlFrameDecoder decoder;
    Bytes reencoded;
    try {
        for (std::size_t pos = 0; pos < length; pos += chunk) {
            decoder.feed(stream + pos, std::min(chunk, length - pos));
            while (auto frame = decoder.next()) {
                FUZZ_CHECK(frame->payload.size() + 5 <= ControlFrame::kMaxLength);
                Bytes bytes = frame->encode();
                reencoded.insert(reencoded.end(), bytes.begin(), bytes.end());
            }
        }
    } catch (const ControlProtocolError&) {
        return 0;
    }
    // Every frame read back is exactly the bytes it came from, in order.
    FUZZ_CHECK(reencoded.size() <= length);
    FUZZ_CHECK(std::equal(reencoded.begin(), reencoded.end(), stream));
    return 0;
}
