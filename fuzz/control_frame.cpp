// The byte stream a local client writes to the daemon's control socket, cut
// into frames as the server does, in reads of varying sizes.
#include "FuzzCheck.hpp"
#include "platform/host/ControlFrame.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

using namespace corvane::platform;

namespace {

struct Outcome {
    std::vector<ControlFrame> frames;
    bool refused = false;
};

// Feeds the stream in pieces of `piece` bytes, taking the frames after each.
Outcome decode(const std::uint8_t* data, std::size_t size, std::size_t piece) {
    Outcome outcome;
    ControlFrameDecoder decoder;
    try {
        for (std::size_t at = 0; at < size; at += piece) {
            decoder.feed(data + at, std::min(piece, size - at));
            while (auto frame = decoder.next()) {
                FUZZ_CHECK(frame->payload.size() + 5 <= ControlFrame::kMaxLength);
                outcome.frames.push_back(std::move(*frame));
            }
        }
    } catch (const ControlProtocolError&) {
        outcome.refused = true;
    }
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the read size; the rest is the stream.
    const std::size_t piece = 1 + data[0] % 32;
    const Outcome whole = decode(data + 1, size - 1, size);
    const Outcome pieces = decode(data + 1, size - 1, piece);

    // How the stream arrives changes nothing but how many frames came before
    // a refusal.
    FUZZ_CHECK(whole.refused == pieces.refused);
    if (!whole.refused) FUZZ_CHECK(whole.frames == pieces.frames);
    FUZZ_CHECK(pieces.frames.size() >= whole.frames.size());

    // The frames taken are exactly the start of the stream, written again.
    std::vector<std::uint8_t> written;
    for (const auto& frame : pieces.frames) {
        const auto bytes = frame.encode();
        written.insert(written.end(), bytes.begin(), bytes.end());
    }
    FUZZ_CHECK(written.size() <= size - 1);
    FUZZ_CHECK(std::equal(written.begin(), written.end(), data + 1));
    return 0;
}
