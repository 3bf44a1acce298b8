// Text that reaches a log line as an argument (a DNS name, an executable name, a
// proxy's error text): the line stays one line of valid UTF-8.
#include "CorvaneCore/Support/Unicode.hpp"
#include "FuzzCheck.hpp"
#include "platform/Logger.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace corvane;
using namespace corvane::platform;

namespace {

void checkLine(const std::string& line) {
    FUZZ_CHECK(unicode::isValidUTF8(line));
    std::size_t pos = 0;
    while (pos < line.size()) {
        bool valid = true;
        const char32_t scalar = unicode::decodeScalar(line, pos, valid);
        FUZZ_CHECK(scalar >= 0x20 && scalar != 0x7F && !(scalar >= 0x80 && scalar <= 0x9F) && scalar != 0x2028 &&
                   scalar != 0x2029);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const LogEntry entry = Logger::render(LogLevel::info, "s", "c", "TCP %{public}s → host=%s:%hu",
                                          {LogArg::publicText(text), LogArg::privateText(text), LogArg::number(7)});
    checkLine(entry.message);
    checkLine(entry.revealedMessage);
    FUZZ_CHECK(entry.message.find("<private>") != std::string::npos);
    return 0;
}
