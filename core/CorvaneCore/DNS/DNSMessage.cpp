#include "CorvaneCore/DNS/DNSMessage.hpp"

#include "CorvaneCore/Support/Unicode.hpp"

#include <algorithm>
#include <optional>
#include <string_view>

namespace corvane::DNSMessage {
namespace {

constexpr std::size_t kHeaderLength = 12;
constexpr int kMaxNameLength = 255;
// A name has at most 127 labels; more jumps than that can only come from a
// crafted chain of pointers, which would otherwise cost time quadratic in the
// message length.
constexpr int kMaxPointerJumps = 127;
// Pre-sizing bounds, so a false count cannot force a large allocation.
constexpr std::size_t kReservedQuestions = 8;
constexpr std::size_t kReservedAnswers = 16;

std::uint16_t read16(Bytes m, std::size_t at) { return static_cast<std::uint16_t>((m[at] << 8) | m[at + 1]); }

std::uint32_t read32(Bytes m, std::size_t at) {
    return (std::uint32_t{m[at]} << 24) | (std::uint32_t{m[at + 1]} << 16) | (std::uint32_t{m[at + 2]} << 8) |
           std::uint32_t{m[at + 3]};
}

// Whether `count` bytes from `at` lie inside the message (without overflow).
bool fits(Bytes m, std::size_t at, std::size_t count) { return at <= m.size() && count <= m.size() - at; }

void appendLabel(std::string& name, Bytes label) {
    const std::string_view text(reinterpret_cast<const char*>(label.data()), label.size());
    if (!name.empty()) name += '.';
    if (unicode::isValidUTF8(text)) name += text;
    else name += unicode::replacingInvalidUTF8(text);
}

Record::Value readValue(Bytes m, std::uint16_t type, std::size_t dataStart, std::uint16_t dataLength) {
    const Bytes data = m.subspan(dataStart, dataLength);
    if (type == typeA && dataLength == 4) return Record::Value::address(IPAddressValue::v4(read32(data, 0)));
    if (type == typeAAAA && dataLength == 16) {
        if (auto folded = IPAddressValue::unmappingIPv4(data)) return Record::Value::address(*folded);
        IPAddressValue::V6Bytes bytes{};
        std::copy(data.begin(), data.end(), bytes.begin());
        return Record::Value::address(IPAddressValue::v6(bytes));
    }
    if (type == typeCNAME) return Record::Value::name(readName(m, dataStart).first);
    return Record::Value::other();
}

}  // namespace

const IPAddressValue* Record::Value::asAddress() const {
    const auto* address = std::get_if<Address>(&value_);
    return address != nullptr ? &address->address : nullptr;
}

const std::string* Record::Value::asName() const {
    const auto* name = std::get_if<Name>(&value_);
    return name != nullptr ? &name->name : nullptr;
}

const char* ParseError::what() const noexcept {
    switch (kind_) {
    case Kind::reservedLabelBits: return "DNS message: reserved label bits";
    case Kind::truncated: return "DNS message: truncated";
    case Kind::forwardPointer: return "DNS message: forward compression pointer";
    case Kind::pointerOutOfBounds: return "DNS message: compression pointer out of bounds";
    case Kind::nameTooLong: return "DNS message: name too long";
    case Kind::countExceedsBuffer: return "DNS message: section count exceeds the message";
    }
    return "DNS message: parse error";
}

bool isResponse(Bytes message) { return message.size() >= kHeaderLength && (message[2] & 0x80) != 0; }

std::pair<std::string, std::size_t> readName(Bytes m, std::size_t offset) {
    std::string name;
    std::size_t pos = offset;
    std::optional<std::size_t> resume;
    int total = 0;
    int jumps = 0;
    while (true) {
        if (pos >= m.size()) throw ParseError(ParseError::Kind::truncated);
        const std::uint8_t length = m[pos];
        if (length == 0) return {std::move(name), resume.value_or(pos + 1)};
        const std::uint8_t bits = length & 0xC0;
        if (bits == 0xC0) {
            if (pos + 1 >= m.size()) throw ParseError(ParseError::Kind::truncated);
            const std::size_t target = (std::size_t{length & 0x3Fu} << 8) | m[pos + 1];
            if (target >= m.size()) throw ParseError(ParseError::Kind::pointerOutOfBounds);
            if (target >= pos) throw ParseError(ParseError::Kind::forwardPointer);
            if (++jumps > kMaxPointerJumps) throw ParseError(ParseError::Kind::nameTooLong);
            if (!resume) resume = pos + 2;
            pos = target;
            continue;
        }
        if (bits != 0) throw ParseError(ParseError::Kind::reservedLabelBits, bits);
        if (!fits(m, pos + 1, length)) throw ParseError(ParseError::Kind::truncated);
        total += length + 1;
        if (total > kMaxNameLength) throw ParseError(ParseError::Kind::nameTooLong);
        appendLabel(name, m.subspan(pos + 1, length));
        pos += 1 + length;
    }
}

Parsed parse(Bytes m) {
    if (m.size() < kHeaderLength) throw ParseError(ParseError::Kind::truncated);
    Parsed parsed;
    parsed.id = read16(m, 0);
    parsed.isResponse = (m[2] & 0x80) != 0;
    const std::uint16_t questionCount = read16(m, 4);
    const std::uint16_t answerCount = read16(m, 6);
    if (questionCount > m.size() || answerCount > m.size()) throw ParseError(ParseError::Kind::countExceedsBuffer);
    parsed.questions.reserve(std::min<std::size_t>(questionCount, kReservedQuestions));
    parsed.answers.reserve(std::min<std::size_t>(answerCount, kReservedAnswers));

    std::size_t offset = kHeaderLength;
    for (std::uint16_t i = 0; i < questionCount; ++i) {
        auto [name, next] = readName(m, offset);
        if (!fits(m, next, 4)) throw ParseError(ParseError::Kind::truncated);
        parsed.questions.push_back({std::move(name), read16(m, next), read16(m, next + 2)});
        offset = next + 4;
    }
    for (std::uint16_t i = 0; i < answerCount; ++i) {
        auto [name, next] = readName(m, offset);
        if (!fits(m, next, 10)) throw ParseError(ParseError::Kind::truncated);
        const std::uint16_t type = read16(m, next);
        const std::uint32_t ttl = read32(m, next + 4);
        const std::uint16_t dataLength = read16(m, next + 8);
        const std::size_t dataStart = next + 10;
        if (!fits(m, dataStart, dataLength)) throw ParseError(ParseError::Kind::truncated);
        parsed.answers.push_back({std::move(name), type, ttl, readValue(m, type, dataStart, dataLength)});
        offset = dataStart + dataLength;
    }
    return parsed;
}

}  // namespace corvane::DNSMessage
