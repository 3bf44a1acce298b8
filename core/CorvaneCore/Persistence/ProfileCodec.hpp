#pragma once

#include "CorvaneCore/Models/Profile.hpp"
#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"
#include "CorvaneCore/Support/UUID.hpp"

#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <vector>

namespace corvane {

// The versioned profile document ({"profile": ..., "version": 1}) and the
// checks that tell the user about profiles the model allows but that will
// not route as meant.
class ProfileCodec {
public:
    ProfileCodec() = delete;

    static constexpr std::int64_t currentVersion = 1;

    struct Document {
        std::int64_t version = currentVersion;
        Profile profile;

        // Both keys required; "version" a JSON integer that fits 64 bits.
        static Document fromJson(const json::Json& value);
    };

    // Why bytes could not be read as a profile, in words for the user: a
    // newer document's version, or for malformed bytes the reader's reason
    // and where it found the fault (a line and column of text that is not
    // JSON, else the path to the value of the wrong form). Errors compare by
    // kind and version.
    class DecodeError : public std::exception {
    public:
        enum class Kind { unsupportedVersion, malformed };

        static DecodeError unsupportedVersion(std::int64_t version);
        static DecodeError malformed(std::string reason = {}, std::string place = {});
        static DecodeError malformed(const JsonDecodeError& cause);

        Kind kind() const { return kind_; }
        // The version a newer document carried; 0 for malformed.
        std::int64_t version() const { return version_; }
        const std::string& reason() const { return reason_; }
        // "line 3, column 14" or "profile.rules[2].action"; "" when unknown.
        const std::string& place() const { return place_; }
        const char* what() const noexcept override { return description_.c_str(); }

        friend bool operator==(const DecodeError& a, const DecodeError& b) {
            return a.kind_ == b.kind_ && a.version_ == b.version_;
        }

    private:
        DecodeError(Kind kind, std::int64_t version, std::string reason, std::string place);
        Kind kind_;
        std::int64_t version_;
        std::string reason_;
        std::string place_;
        std::string description_;
    };

    enum class Severity { warning, error };

    // One validation finding; `id` is fresh for every issue so lists can tell
    // issues apart.
    struct Issue {
        UUID id;
        Severity severity;
        std::string message;
    };

    // The document of version 1 with keys sorted at every level, indented when
    // `pretty`. Throws only what the JSON writer throws (text that is not UTF-8).
    static std::vector<std::uint8_t> encode(const Profile& profile, bool pretty);
    // A document of version 1 or lower, or a bare profile object.
    static Profile decode(std::span<const std::uint8_t> bytes);
    // The findings in the order found; never fails, never refuses a profile.
    static std::vector<Issue> validate(const Profile& profile);
};

json::Json toJson(const ProfileCodec::Document& document);

}  // namespace corvane
