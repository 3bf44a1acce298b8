// The texts AppState defines: the label of a rule action and the CSV form of the
// connection list.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "AppState.hpp"

namespace corvane::app {

namespace {

// Dates further than this from the reference date are clamped before they are
// turned into whole seconds.
constexpr double kDateLimit = 1e12;

std::string joinedNames(const Profile& profile, const std::vector<UUID>& ids, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (i > 0) out += separator;
        const ProxyServer* proxy = profile.proxy(ids[i]);
        out += proxy ? proxy->name : "(missing)";
    }
    return out;
}

// ISO 8601 in UTC, whole seconds (the earlier whole second), ending in "Z".
std::string isoTime(Date date) {
    double seconds = std::isnan(date.sinceReferenceDate) ? 0.0 : date.sinceReferenceDate;
    seconds = std::clamp(seconds, -kDateLimit, kDateLimit);
    using namespace std::chrono;
    const sys_seconds at{std::chrono::seconds{static_cast<long long>(std::floor(seconds + Date::kUnixOffset))}};
    const auto day = floor<days>(at);
    const year_month_day ymd{day};
    const hh_mm_ss time{at - day};
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                  static_cast<long>(time.seconds().count()));
    return text;
}

// A quoted field; a text that a spreadsheet would run as a formula is
// prefixed with an apostrophe.
std::string csvField(std::string_view text) {
    std::string out = "\"";
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) out += '\'';
    for (const char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

}  // namespace

std::string AppState::actionLabel(const RuleAction& action) const {
    switch (action.kind()) {
        case RuleAction::Kind::direct: return "Direct";
        case RuleAction::Kind::block: return "Block";
        case RuleAction::Kind::proxy: return "Proxy: " + joinedNames(profile_, action.proxyIDs(), "");
        case RuleAction::Kind::chain: return "Chain: " + joinedNames(profile_, action.proxyIDs(), " → ");
        case RuleAction::Kind::failover: return "Failover: " + joinedNames(profile_, action.proxyIDs(), ", then ");
    }
    return {};
}

std::string AppState::connectionsCSV(const std::vector<ConnectionRecord>& records) {
    std::string out = "Time,Application,Target,Transport,Action,Rule,Status,BytesSent,BytesReceived";
    for (const ConnectionRecord& record : records) {
        out += "\n" + csvField(isoTime(record.startedAt)) + "," + csvField(record.appIdentifier) + "," +
               csvField(record.target) + "," + csvField(toString(record.transport)) + "," +
               csvField(record.actionDescription) + "," + csvField(record.ruleName.value_or("")) + "," +
               csvField(toString(record.status)) + "," + std::to_string(record.bytesSent) + "," +
               std::to_string(record.bytesReceived);
    }
    return out;
}

}  // namespace corvane::app
