// The profile document as read from the profile file, an imported file or the
// daemon's configuration.
#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "FuzzCheck.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

using namespace corvane;

namespace {

// What decode accepts, encode writes and decode reads back unchanged, in both
// layouts; re-encoding gives the same bytes.
void checkRoundTrip(const Profile& profile) {
    for (const bool pretty : {false, true}) {
        const std::vector<std::uint8_t> encoded = ProfileCodec::encode(profile, pretty);
        const Profile decoded = ProfileCodec::decode(encoded);
        FUZZ_CHECK(decoded == profile);
        FUZZ_CHECK(ProfileCodec::encode(decoded, pretty) == encoded);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Profile profile;
    try {
        profile = ProfileCodec::decode(std::span<const std::uint8_t>(data, size));
    } catch (const ProfileCodec::DecodeError& error) {
        if (error.kind() == ProfileCodec::DecodeError::Kind::unsupportedVersion)
            FUZZ_CHECK(error.version() > ProfileCodec::currentVersion);
        else
            FUZZ_CHECK(error.version() == 0);
        return 0;
    }
    checkRoundTrip(profile);
    ProfileCodec::validate(profile);
    return 0;
}
