// DNS messages as the UDP relay receives them from any resolver, and the
// host-name cache that learns from the parsed responses.
#include "CorvaneCore/DNS/DNSMessage.hpp"
#include "CorvaneCore/DNS/HostnameCache.hpp"
#include "CorvaneCore/Support/Unicode.hpp"
#include "FuzzCheck.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

using namespace corvane;

namespace {

constexpr std::size_t kMaxNameText = 254;  // 255 bytes of labels less the last length byte

std::uint16_t read16(std::span<const std::uint8_t> m, std::size_t at) {
    return static_cast<std::uint16_t>((m[at] << 8) | m[at + 1]);
}

// Valid UTF-8, and no longer than its wire form allows: each label byte
// becomes at most three bytes of text (one U+FFFD).
void checkName(const std::string& name) {
    FUZZ_CHECK(unicode::isValidUTF8(name));
    FUZZ_CHECK(name.size() <= 3 * kMaxNameText);
    if (name.find("\xEF\xBF\xBD") == std::string::npos) FUZZ_CHECK(name.size() <= kMaxNameText);
}

void checkParsed(std::span<const std::uint8_t> message, const DNSMessage::Parsed& parsed) {
    FUZZ_CHECK(parsed.id == read16(message, 0));
    FUZZ_CHECK(parsed.isResponse == DNSMessage::isResponse(message));
    FUZZ_CHECK(parsed.questions.size() == read16(message, 4));
    FUZZ_CHECK(parsed.answers.size() == read16(message, 6));
    for (const auto& question : parsed.questions) checkName(question.name);
    for (const auto& answer : parsed.answers) {
        checkName(answer.name);
        if (const auto* target = answer.value.asName()) checkName(*target);
    }
}

void absorb(const DNSMessage::Parsed& parsed) {
    HostnameCache cache(4, 60, 3600);
    const Date now{0};
    cache.absorb(parsed, 1, now);
    FUZZ_CHECK(cache.count() <= 4);
    for (const auto& answer : parsed.answers) {
        if (const auto* address = answer.value.asAddress()) {
            const auto names = cache.names(*address, 1, now);
            FUZZ_CHECK(names.size() <= HostnameCache::kMaxNamesPerAddress);
            for (const auto& name : names) FUZZ_CHECK(!HostnameCache::readsAsAddress(name));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> message(data, size);
    DNSMessage::Parsed parsed;
    try {
        parsed = DNSMessage::parse(message);
    } catch (const DNSMessage::ParseError& error) {
        if (error.kind() == DNSMessage::ParseError::Kind::reservedLabelBits)
            FUZZ_CHECK(error.bits() == 0x40 || error.bits() == 0x80);
        return 0;
    }
    checkParsed(message, parsed);
    absorb(parsed);
    return 0;
}
