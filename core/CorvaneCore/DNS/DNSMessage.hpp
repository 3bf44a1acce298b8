#pragma once

#include "CorvaneCore/Matching/IPAddressValue.hpp"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// Reader of the DNS messages (RFC 1035 wire format with name compression)
// that pass through the UDP relay: header, questions and the answer section,
// as far as the host-name cache needs them. The input comes from the network:
// every length and offset is checked and a bad message is a ParseError.
namespace corvane::DNSMessage {

using Bytes = std::span<const std::uint8_t>;

inline constexpr std::uint16_t typeA = 1;
inline constexpr std::uint16_t typeCNAME = 5;
inline constexpr std::uint16_t typeAAAA = 28;

struct Question {
    std::string name;
    std::uint16_t type = 0;
    std::uint16_t cls = 0;
    friend bool operator==(const Question&, const Question&) = default;
};

struct Record {
    // An A or AAAA address, a CNAME target, or anything else.
    class Value {
    public:
        struct Address {
            IPAddressValue address;
            friend bool operator==(const Address&, const Address&) = default;
        };
        struct Name {
            std::string name;
            friend bool operator==(const Name&, const Name&) = default;
        };
        struct Other {
            friend bool operator==(const Other&, const Other&) = default;
        };

        static Value address(const IPAddressValue& address) {
            Value value;
            value.value_.emplace<Address>(Address{address});
            return value;
        }
        static Value name(std::string name) {
            Value value;
            value.value_.emplace<Name>(Name{std::move(name)});
            return value;
        }
        static Value other() { return Value(); }

        const IPAddressValue* asAddress() const;
        const std::string* asName() const;
        bool isOther() const { return std::holds_alternative<Other>(value_); }

        friend bool operator==(const Value&, const Value&) = default;

    private:
        Value() = default;
        std::variant<Other, Address, Name> value_;
    };

    std::string name;  // the owner name
    std::uint16_t type = 0;
    std::uint32_t ttl = 0;  // seconds
    Value value = Value::other();
    friend bool operator==(const Record&, const Record&) = default;
};

struct Parsed {
    std::uint16_t id = 0;
    bool isResponse = false;
    std::vector<Question> questions;
    std::vector<Record> answers;  // the answer section only
    friend bool operator==(const Parsed&, const Parsed&) = default;
};

class ParseError : public std::exception {
public:
    enum class Kind {
        reservedLabelBits,   // a length byte with top bits 01 or 10 (see `bits`)
        truncated,           // shorter than a header, or a field runs past the end
        forwardPointer,      // a compression pointer not strictly backwards
        pointerOutOfBounds,  // a compression pointer at or past the end
        nameTooLong,         // more than 255 bytes of labels, or too many pointer jumps
        countExceedsBuffer,  // a section count above the message's byte length
    };

    explicit ParseError(Kind kind, std::uint8_t bits = 0) : kind_(kind), bits_(bits) {}

    Kind kind() const { return kind_; }
    // For reservedLabelBits: the length byte masked with 0xC0 (0x40 or 0x80).
    std::uint8_t bits() const { return bits_; }
    const char* what() const noexcept override;

    friend bool operator==(const ParseError& a, const ParseError& b) {
        return a.kind_ == b.kind_ && a.bits_ == b.bits_;
    }

private:
    Kind kind_;
    std::uint8_t bits_;
};

// At least a header and the QR bit set: the relay's cheap filter.
bool isResponse(Bytes message);

// Parses a query or a response; throws ParseError. Partial results are never
// returned.
Parsed parse(Bytes message);

// The name at `offset` (labels joined with ".", the root is "") and the
// offset right after it in the message; throws ParseError.
std::pair<std::string, std::size_t> readName(Bytes message, std::size_t offset);

}  // namespace corvane::DNSMessage
