#pragma once

#include "CorvaneCore/Support/JsonReader.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// The verified code identity of the application a flow comes from.
struct CodeIdentity {
    bool isValid = false;
    std::optional<std::string> teamIdentifier;  // absent for ad-hoc or unsigned code
    bool isPlatformBinary = false;               // part of the operating system

    // No identity could be established: not valid, no team, not a platform binary.
    static const CodeIdentity unverified;
    // How a rule names a signing team among its applications.
    static constexpr std::string_view teamPrefix = "team:";
    static std::string teamPattern(std::string_view teamIdentifier);

    std::string displayText() const;

    static CodeIdentity fromJson(const json::Json& value);
    friend bool operator==(const CodeIdentity&, const CodeIdentity&) = default;
};

inline constinit const CodeIdentity CodeIdentity::unverified{};

json::Json toJson(const CodeIdentity& identity);

}  // namespace corvane

template <>
struct std::hash<corvane::CodeIdentity> {
    std::size_t operator()(const corvane::CodeIdentity& identity) const noexcept;
};
