// The message the app sends to the daemon over the control socket; any local
// client that may talk to the daemon can send these bytes.
#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "FuzzCheck.hpp"
#include "Shared/ProviderRequest.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ProviderRequest request;
    try {
        request = ProviderRequest::decode(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const JsonDecodeError&) {
        return 0;
    }
    // What was read is written back and reads as the same request.
    const std::string encoded = request.encoded();
    FUZZ_CHECK(ProviderRequest::decode(encoded) == request);
    FUZZ_CHECK(ProviderRequest::decode(encoded).encoded() == encoded);
    return 0;
}
