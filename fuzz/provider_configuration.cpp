// A saved configuration as a control-socket peer sends it or the state folder
// holds it: whatever decodes is stored and read back unchanged.
#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"
#include "FuzzCheck.hpp"
#include "platform/TransparentProxyConfiguration.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace corvane;
using namespace corvane::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TransparentProxyConfiguration configuration;
    try {
        configuration = TransparentProxyConfiguration::fromJson(
            json::parse(std::string_view(reinterpret_cast<const char*>(data), size)));
    } catch (const JsonDecodeError&) {
        return 0;
    }
    const std::string stored = toJson(configuration).dump();
    const auto reread = TransparentProxyConfiguration::fromJson(json::parse(stored));
    FUZZ_CHECK(reread == configuration);
    FUZZ_CHECK(toJson(reread).dump() == stored);
    return 0;
}
