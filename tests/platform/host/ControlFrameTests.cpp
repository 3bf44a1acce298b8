#include "platform/host/ControlFrame.hpp"

#include <gtest/gtest.h>

#include "platform/host/PeerPolicy.hpp"

namespace corvane::platform {
namespace {

TEST(ControlFrame, EncodesLengthKindIdAndPayloadBigEndian) {
    ControlFrame frame{ControlKind::message, 0x01020304, {0xAA, 0xBB}};
    EXPECT_EQ(frame.encode(), (Bytes{0, 0, 0, 7, 6, 1, 2, 3, 4, 0xAA, 0xBB}));
    EXPECT_EQ(ControlFrame::reply(9, false).payload, Bytes{0});
}

TEST(ControlFrameDecoder, ReassemblesFramesFedByteByByte) {
    Bytes stream;
    std::vector<ControlFrame> frames = {{ControlKind::hello, 1, {}},
                                        ControlFrame::reply(2, true, Bytes{'x'}),
                                        {ControlKind::status, 0, {3}}};
    for (const auto& frame : frames) {
        auto bytes = frame.encode();
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    ControlFrameDecoder decoder;
    std::vector<ControlFrame> decoded;
    for (auto byte : stream) {
        decoder.feed(&byte, 1);
        while (auto frame = decoder.next()) decoded.push_back(*frame);
    }
    EXPECT_EQ(decoded, frames);
}

TEST(ControlFrameDecoder, RejectsMalformedHeadersBeforeBufferingAPayload) {
    const std::vector<Bytes> bad = {
        {0x01, 0x00, 0x00, 0x01, 6},  // 16 MiB + 1
        {0xFF, 0xFF, 0xFF, 0xFF, 6},
        {0, 0, 0, 4, 6},              // shorter than kind and id
        {0, 0, 0, 5, 0x42, 0, 0, 0, 1},
    };
    for (const auto& bytes : bad) {
        ControlFrameDecoder decoder;
        EXPECT_THROW(decoder.feed(bytes.data(), bytes.size()), ControlProtocolError);
    }
    Bytes largest{0x01, 0x00, 0x00, 0x00, 6};  // exactly 16 MiB is allowed and waits for its bytes
    ControlFrameDecoder decoder;
    EXPECT_NO_THROW(decoder.feed(largest.data(), largest.size()));
    EXPECT_EQ(decoder.next(), std::nullopt);
}

TEST(PeerPolicy, AllowsRootAndMembersOfTheGroupOnly) {
    const gid_t corvane = 977;
    struct Case {
        PeerCredentials peer;
        std::vector<gid_t> groups;
        std::optional<gid_t> group;
        bool allowed;
    };
    const std::vector<Case> cases = {
        {{1, 0, 0}, {}, corvane, true},
        {{1, 0, 0}, {}, std::nullopt, true},
        {{1, 1000, corvane}, {}, corvane, true},
        {{1, 1000, 1000}, {27, corvane}, corvane, true},
        {{1, 1000, 1000}, {27, 100}, corvane, false},
        {{1, 65534, 65534}, {}, corvane, false},
        {{1, 1000, 1000}, {1000}, std::nullopt, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isPeerAllowed(c.peer, c.groups, c.group), c.allowed) << c.peer.uid << "/" << c.peer.gid;
    }
}

}  // namespace
}  // namespace corvane::platform
