#include "CorvaneCore/Presets/PresetCatalog.hpp"

#include "CorvaneCore/Support/Unicode.hpp"

#include <algorithm>
#include <unordered_set>

namespace corvane::PresetCatalog {
namespace {

using C = PresetCategory;

// Application patterns are the Flatpak application IDs of the services'
// Linux programs, which is what the daemon reports for a Flatpak program.
std::vector<ServicePreset> makeCatalogue() {
    return {
        {"claude", "Claude", C::ai, {},
         {"claude.ai", "*.claude.ai", "anthropic.com", "*.anthropic.com"}, "sparkles"},
        {"chatgpt", "ChatGPT / OpenAI", C::ai, {},
         {"chatgpt.com", "*.chatgpt.com", "openai.com", "*.openai.com", "*.oaistatic.com",
          "*.oaiusercontent.com"},
         "bubble.left.and.text.bubble.right"},
        {"gemini", "Google Gemini", C::ai, {},
         {"gemini.google.com", "aistudio.google.com", "makersuite.google.com",
          "generativelanguage.googleapis.com"},
         "diamond"},
        {"copilot", "GitHub Copilot", C::ai, {},
         {"githubcopilot.com", "*.githubcopilot.com", "copilot-proxy.githubusercontent.com"},
         "chevron.left.forwardslash.chevron.right"},
        {"perplexity", "Perplexity", C::ai, {}, {"perplexity.ai", "*.perplexity.ai"},
         "magnifyingglass"},
        {"grok", "Grok / xAI", C::ai, {}, {"grok.com", "*.grok.com", "x.ai", "*.x.ai"}, "bolt"},
        {"deepseek", "DeepSeek", C::ai, {}, {"deepseek.com", "*.deepseek.com"}, "water.waves"},
        {"mistral", "Mistral", C::ai, {}, {"mistral.ai", "*.mistral.ai"}, "wind"},

        {"telegram", "Telegram", C::messaging, {"org.telegram.desktop*"},
         {"telegram.org", "*.telegram.org", "t.me", "*.t.me", "telegram.me",
          "*.cdn-telegram.org"},
         "paperplane"},
        {"whatsapp", "WhatsApp", C::messaging, {},
         {"whatsapp.com", "*.whatsapp.com", "*.whatsapp.net"}, "phone.bubble"},
        {"signal", "Signal", C::messaging, {"org.signal.Signal*"},
         {"signal.org", "*.signal.org", "*.whispersystems.org"}, "lock.message"},
        {"discord", "Discord", C::messaging, {"com.discordapp.Discord*"},
         {"discord.com", "*.discord.com", "*.discord.gg", "*.discordapp.com",
          "*.discordapp.net"},
         "gamecontroller"},
        {"slack", "Slack", C::messaging, {"com.slack.Slack*"},
         {"slack.com", "*.slack.com", "*.slack-edge.com", "*.slack-msgs.com"},
         "number.square"},

        {"youtube", "YouTube", C::social, {},
         {"youtube.com", "*.youtube.com", "youtu.be", "*.googlevideo.com", "*.ytimg.com",
          "*.ggpht.com"},
         "play.rectangle"},
        {"x", "X (Twitter)", C::social, {},
         {"x.com", "*.x.com", "twitter.com", "*.twitter.com", "*.twimg.com"}, "at"},
        {"instagram", "Instagram", C::social, {},
         {"instagram.com", "*.instagram.com", "*.cdninstagram.com"}, "camera"},
        {"facebook", "Facebook", C::social, {},
         {"facebook.com", "*.facebook.com", "*.facebook.net", "*.fbcdn.net"}, "person.2"},
        {"reddit", "Reddit", C::social, {},
         {"reddit.com", "*.reddit.com", "*.redd.it", "*.redditmedia.com"},
         "bubble.left.and.bubble.right"},
        {"tiktok", "TikTok", C::social, {},
         {"tiktok.com", "*.tiktok.com", "*.tiktokcdn.com", "*.tiktokv.com"}, "music.note"},
        {"linkedin", "LinkedIn", C::social, {},
         {"linkedin.com", "*.linkedin.com", "*.licdn.com"}, "briefcase"},

        {"netflix", "Netflix", C::media, {},
         {"netflix.com", "*.netflix.com", "*.nflxvideo.net", "*.nflximg.net", "*.nflxext.com"},
         "film"},
        {"spotify", "Spotify", C::media, {"com.spotify.Client*"},
         {"spotify.com", "*.spotify.com", "*.scdn.co", "*.spotifycdn.com"}, "music.note.list"},
        {"twitch", "Twitch", C::media, {},
         {"twitch.tv", "*.twitch.tv", "*.ttvnw.net", "*.jtvnw.net"}, "tv"},

        {"github", "GitHub", C::developer, {},
         {"github.com", "*.github.com", "*.githubusercontent.com", "*.githubassets.com"},
         "chevron.left.slash.chevron.right"},
        {"docker", "Docker Hub", C::developer, {},
         {"docker.io", "*.docker.io", "docker.com", "*.docker.com"}, "shippingbox"},
        {"npm", "npm registry", C::developer, {}, {"npmjs.org", "*.npmjs.org", "*.npmjs.com"},
         "shippingbox"},
        {"pypi", "PyPI", C::developer, {}, {"pypi.org", "*.pypi.org", "files.pythonhosted.org"},
         "shippingbox"},

        {"zoom", "Zoom", C::work, {"us.zoom.Zoom*"}, {"zoom.us", "*.zoom.us", "*.zoom.com"},
         "video"},
        {"notion", "Notion", C::work, {},
         {"notion.so", "*.notion.so", "*.notion.com", "*.notion-static.com"}, "note.text"},
        {"figma", "Figma", C::work, {}, {"figma.com", "*.figma.com", "*.figmausercontent.com"},
         "pencil.and.outline"},
        {"google-workspace", "Google Workspace", C::work, {},
         {"mail.google.com", "docs.google.com", "drive.google.com", "calendar.google.com",
          "meet.google.com", "*.googleusercontent.com"},
         "envelope"},
    };
}

bool anyContains(const std::vector<std::string>& patterns, const std::string& query) {
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
        return unicode::lowercased(pattern).find(query) != std::string::npos;
    });
}

bool presetMatches(const ServicePreset& preset, const std::string& query) {
    return unicode::lowercased(preset.name).find(query) != std::string::npos ||
           preset.id.find(query) != std::string::npos || anyContains(preset.applications, query) ||
           anyContains(preset.hosts, query);
}

void appendNew(std::vector<std::string>& list, std::unordered_set<std::string>& seen,
               const std::vector<std::string>& patterns) {
    for (const auto& pattern : patterns) {
        if (seen.insert(pattern).second) list.push_back(pattern);
    }
}

}  // namespace

const std::vector<ServicePreset>& all() {
    static const std::vector<ServicePreset> catalogue = makeCatalogue();
    return catalogue;
}

std::vector<ServicePreset> presets(PresetCategory category) {
    std::vector<ServicePreset> result;
    for (const auto& preset : all()) {
        if (preset.category == category) result.push_back(preset);
    }
    return result;
}

std::vector<ServicePreset> search(std::string_view query) {
    const std::string needle = unicode::lowercased(unicode::trimmed(query));
    if (needle.empty()) return all();
    std::vector<ServicePreset> result;
    for (const auto& preset : all()) {
        if (presetMatches(preset, needle)) result.push_back(preset);
    }
    return result;
}

std::optional<ServicePreset> preset(std::string_view id) {
    for (const auto& preset : all()) {
        if (preset.id == id) return preset;
    }
    return std::nullopt;
}

MergedPatterns merge(const std::vector<ServicePreset>& presets) {
    MergedPatterns merged;
    std::unordered_set<std::string> seenApplications;
    std::unordered_set<std::string> seenHosts;
    for (const auto& preset : presets) {
        appendNew(merged.applications, seenApplications, preset.applications);
        appendNew(merged.hosts, seenHosts, preset.hosts);
    }
    return merged;
}

std::string suggestedRuleName(const std::vector<ServicePreset>& presets) {
    switch (presets.size()) {
        case 0: return "New Rule";
        case 1: return presets[0].name;
        case 2: return presets[0].name + " + " + presets[1].name;
        default: return presets[0].name + " + " + std::to_string(presets.size() - 1) + " more";
    }
}

}  // namespace corvane::PresetCatalog
