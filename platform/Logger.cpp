#include "platform/Logger.hpp"

#include <cstdio>
#include <optional>

#include "CorvaneCore/Support/Unicode.hpp"
#include "platform/LogSink.hpp"

namespace corvane::platform {

namespace {

constexpr std::string_view kRedacted = "<private>";
constexpr std::string_view kMissing = "<missing>";

void appendHex(std::string& out, const char* form, unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, form, value);
    out += buffer;
}

// The argument as one line of valid UTF-8: control characters (C0, DEL, C1) and the
// Unicode line and paragraph separators are written as escapes.
std::string escaped(std::string_view text) {
    const std::string valid = unicode::replacingInvalidUTF8(text);
    std::string out;
    out.reserve(valid.size());
    std::size_t pos = 0;
    while (pos < valid.size()) {
        bool wellFormed = true;
        char32_t scalar = unicode::decodeScalar(valid, pos, wellFormed);
        if (scalar == '\n') out += "\\n";
        else if (scalar == '\r') out += "\\r";
        else if (scalar == '\t') out += "\\t";
        else if (scalar < 0x20 || scalar == 0x7F) appendHex(out, "\\x%02X", scalar);
        else if ((scalar >= 0x80 && scalar <= 0x9F) || scalar == 0x2028 || scalar == 0x2029)
            appendHex(out, "\\u{%04X}", scalar);
        else unicode::appendUTF8(out, scalar);
    }
    return out;
}

struct Conversion {
    std::size_t length = 0;  // bytes of the directive after '%'
    bool isString = false;
    bool forcedPublic = false;
    bool forcedPrivate = false;
};

// Reads "{public}"/"{private}" and one of s, d, u, ld, lu, lld, llu, hu, hd after '%'.
std::optional<Conversion> readConversion(std::string_view rest) {
    Conversion conversion;
    std::size_t i = 0;
    for (std::string_view mark : {std::string_view("{public}"), std::string_view("{private}")}) {
        if (rest.substr(0, mark.size()) == mark) {
            (mark == "{public}" ? conversion.forcedPublic : conversion.forcedPrivate) = true;
            i = mark.size();
        }
    }
    for (std::string_view spec : {"s", "lld", "llu", "ld", "lu", "hu", "hd", "d", "u"}) {
        if (rest.substr(i, spec.size()) == spec) {
            conversion.length = i + spec.size();
            conversion.isString = spec == "s";
            return conversion;
        }
    }
    return std::nullopt;
}

}  // namespace

Logger::Logger(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

void Logger::info(std::string_view format, std::initializer_list<LogArg> args) const {
    log(LogLevel::info, format, args);
}

void Logger::error(std::string_view format, std::initializer_list<LogArg> args) const {
    log(LogLevel::error, format, args);
}

void Logger::log(LogLevel level, std::string_view format, std::initializer_list<LogArg> args) const {
    LogSink::current()->write(render(level, subsystem_, category_, format, args));
}

LogEntry Logger::render(LogLevel level, std::string_view subsystem, std::string_view category,
                        std::string_view format, std::initializer_list<LogArg> args) {
    LogEntry entry{level, std::string(subsystem), std::string(category), {}, {}, {}};
    auto next = args.begin();
    std::size_t pos = 0;
    while (pos < format.size()) {
        std::size_t percent = format.find('%', pos);
        std::string_view literal = format.substr(pos, percent - pos);
        entry.message += literal;
        entry.revealedMessage += literal;
        if (percent == std::string_view::npos) break;
        std::string_view rest = format.substr(percent + 1);
        if (rest.substr(0, 1) == "%") {
            entry.message += '%';
            entry.revealedMessage += '%';
            pos = percent + 2;
            continue;
        }
        auto conversion = readConversion(rest);
        if (!conversion) {  // not a directive: written as it stands
            entry.message += '%';
            entry.revealedMessage += '%';
            pos = percent + 1;
            continue;
        }
        pos = percent + 1 + conversion->length;
        if (next == args.end()) {
            entry.message += kMissing;
            entry.revealedMessage += kMissing;
            continue;
        }
        const bool formatPublic = conversion->forcedPublic || (!conversion->isString && !conversion->forcedPrivate);
        const bool isPrivate = !formatPublic || !next->isPublic;
        const std::string text = escaped(next->text);
        entry.message += isPrivate ? std::string(kRedacted) : text;
        entry.revealedMessage += text;
        entry.privateArguments.push_back(isPrivate);
        ++next;
    }
    return entry;
}

}  // namespace corvane::platform
