#include "CorvaneCore/Persistence/ProfileCodec.hpp"

#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

#include <algorithm>
#include <optional>
#include <string_view>

namespace corvane {
namespace {

// Whether a value that is neither form was meant as the versioned document,
// so that its failure, not the bare profile's, tells the user what is wrong.
bool looksVersioned(const json::Json& value) {
    return value.is_object() && (value.contains("version") || value.contains("profile"));
}

std::string placeOf(const JsonDecodeError& error) {
    if (const auto& position = error.position())
        return "line " + std::to_string(position->line) + ", column " + std::to_string(position->column);
    return error.path();
}

std::string describe(ProfileCodec::DecodeError::Kind kind, std::int64_t version, std::string_view reason,
                     std::string_view place) {
    if (kind == ProfileCodec::DecodeError::Kind::unsupportedVersion)
        return "This profile was written by a newer version of Corvane (document version " +
               std::to_string(version) + "); this version reads version " +
               std::to_string(ProfileCodec::currentVersion) + " and older.";
    std::string text(reason.empty() ? "The data is not a Corvane profile." : reason);
    if (place.empty()) return text;
    if (text.ends_with('.')) text.pop_back();
    return text + " (at " + std::string(place) + ").";
}

using Issue = ProfileCodec::Issue;
using Severity = ProfileCodec::Severity;

void add(std::vector<Issue>& issues, Severity severity, std::string message) {
    issues.push_back(Issue{UUID::random(), severity, std::move(message)});
}

bool namesMissingProxy(const Profile& profile, const RuleAction& action) {
    const auto ids = action.proxyIDs();
    return std::any_of(ids.begin(), ids.end(), [&](const UUID& id) { return profile.proxy(id) == nullptr; });
}

void checkRule(const Profile& profile, const Rule& rule, std::vector<Issue>& issues) {
    const std::string quoted = "Rule “" + rule.name + "”";
    if (namesMissingProxy(profile, rule.action))
        add(issues, Severity::error, quoted + " routes to a proxy that no longer exists.");
    if (const auto* chain = std::get_if<RuleAction::Chain>(&rule.action.value()); chain && chain->ids.empty())
        add(issues, Severity::error, quoted + " has an empty proxy chain.");
    if (const auto* failover = std::get_if<RuleAction::Failover>(&rule.action.value())) {
        if (failover->ids.empty())
            add(issues, Severity::error, quoted + " has no proxies to fail over between.");
        else if (failover->ids.size() == 1)
            add(issues, Severity::warning,
                quoted + " fails over between a single proxy — add another, or route to it directly.");
    }
}

}  // namespace

ProfileCodec::DecodeError::DecodeError(Kind kind, std::int64_t version, std::string reason, std::string place)
    : kind_(kind),
      version_(version),
      reason_(std::move(reason)),
      place_(std::move(place)),
      description_(describe(kind_, version_, reason_, place_)) {}

ProfileCodec::DecodeError ProfileCodec::DecodeError::unsupportedVersion(std::int64_t version) {
    return {Kind::unsupportedVersion, version, {}, {}};
}

ProfileCodec::DecodeError ProfileCodec::DecodeError::malformed(std::string reason, std::string place) {
    return {Kind::malformed, 0, std::move(reason), std::move(place)};
}

ProfileCodec::DecodeError ProfileCodec::DecodeError::malformed(const JsonDecodeError& cause) {
    return malformed(cause.what(), placeOf(cause));
}

ProfileCodec::Document ProfileCodec::Document::fromJson(const json::Json& value) {
    json::requireObject(value, "document");
    return Document{
        .version = json::required<std::int64_t>(value, "version"),
        .profile = json::requiredPart<Profile>(value, "profile"),
    };
}

json::Json toJson(const ProfileCodec::Document& document) {
    return json::Json{{"version", document.version}, {"profile", toJson(document.profile)}};
}

std::vector<std::uint8_t> ProfileCodec::encode(const Profile& profile, bool pretty) {
    // nlohmann keeps object keys in a sorted map, so every level is written sorted.
    const std::string text = toJson(Document{currentVersion, profile}).dump(pretty ? 2 : -1);
    return {text.begin(), text.end()};
}

Profile ProfileCodec::decode(std::span<const std::uint8_t> bytes) {
    json::Json value;
    try {
        value = json::parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const JsonDecodeError& error) {
        throw DecodeError::malformed(error);
    }
    std::optional<JsonDecodeError> documentFailure;
    try {
        Document document = Document::fromJson(value);
        if (document.version > currentVersion) throw DecodeError::unsupportedVersion(document.version);
        return std::move(document.profile);
    } catch (const JsonDecodeError& error) {
        documentFailure = error;
    }
    try {
        return Profile::fromJson(value);
    } catch (const JsonDecodeError& error) {
        throw DecodeError::malformed(looksVersioned(value) ? *documentFailure : error);
    }
}

std::vector<ProfileCodec::Issue> ProfileCodec::validate(const Profile& profile) {
    std::vector<Issue> issues;
    for (const Rule& rule : profile.rules) checkRule(profile, rule, issues);
    if (namesMissingProxy(profile, profile.defaultAction))
        add(issues, Severity::error, "The default action routes to a missing proxy.");
    for (const ProxyServer& proxy : profile.proxies) {
        if (unicode::trimmed(proxy.host).empty())
            add(issues, Severity::warning, "Proxy “" + proxy.name + "” has no host set.");
    }
    const bool anyEnabled =
        std::any_of(profile.rules.begin(), profile.rules.end(), [](const Rule& rule) { return rule.isEnabled; });
    if (!anyEnabled) add(issues, Severity::warning, "No rules are enabled; every connection uses the default action.");
    return issues;
}

}  // namespace corvane
