#pragma once

#include "CorvaneCore/Models/Profile.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// The message the app sends to the running daemon.
struct ProviderRequest {
    enum class Kind { fetchRecords, reloadProfile };

    Kind kind = Kind::fetchRecords;
    // The profile to use, passwords included; only with reloadProfile, and
    // there optional (without it the daemon reloads from its own sources).
    std::optional<Profile> profile;

    // Requires "kind" with a known value; "profile" may be missing or null;
    // other keys are ignored. Throws JsonDecodeError.
    static ProviderRequest fromJson(const json::Json& value);
    // The message data; data that is not such a request throws JsonDecodeError.
    static ProviderRequest decode(std::string_view data);
    std::string encoded() const;

    friend bool operator==(const ProviderRequest&, const ProviderRequest&) = default;
};

// The raw text: the case name.
std::string_view toString(ProviderRequest::Kind kind);
std::optional<ProviderRequest::Kind> providerRequestKindFromString(std::string_view text);

// "kind" always, "profile" (the plain profile object) only when present.
json::Json toJson(const ProviderRequest& request);

}  // namespace corvane
