#include "CorvaneCore/Presets/PresetCatalog.hpp"

#include "CorvaneCore/Matching/PatternValidator.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace corvane {
namespace {

std::vector<std::string> ids(const std::vector<ServicePreset>& presets) {
    std::vector<std::string> result;
    for (const auto& preset : presets) result.push_back(preset.id);
    return result;
}

ServicePreset byId(std::string_view id) {
    const auto found = PresetCatalog::preset(id);
    EXPECT_TRUE(found.has_value()) << id;
    return found.value_or(ServicePreset{});
}

TEST(PresetCatalogTest, HoldsThePresetsInCatalogueOrderWithTheirHostCounts) {
    struct Row {
        const char* id;
        const char* name;
        PresetCategory category;
        std::size_t hostCount;
        const char* symbolName;
    };
    using C = PresetCategory;
    const Row rows[] = {
        {"claude", "Claude", C::ai, 4, "sparkles"},
        {"chatgpt", "ChatGPT / OpenAI", C::ai, 6, "bubble.left.and.text.bubble.right"},
        {"gemini", "Google Gemini", C::ai, 4, "diamond"},
        {"copilot", "GitHub Copilot", C::ai, 3, "chevron.left.forwardslash.chevron.right"},
        {"perplexity", "Perplexity", C::ai, 2, "magnifyingglass"},
        {"grok", "Grok / xAI", C::ai, 4, "bolt"},
        {"deepseek", "DeepSeek", C::ai, 2, "water.waves"},
        {"mistral", "Mistral", C::ai, 2, "wind"},
        {"telegram", "Telegram", C::messaging, 6, "paperplane"},
        {"whatsapp", "WhatsApp", C::messaging, 3, "phone.bubble"},
        {"signal", "Signal", C::messaging, 3, "lock.message"},
        {"discord", "Discord", C::messaging, 5, "gamecontroller"},
        {"slack", "Slack", C::messaging, 4, "number.square"},
        {"youtube", "YouTube", C::social, 6, "play.rectangle"},
        {"x", "X (Twitter)", C::social, 5, "at"},
        {"instagram", "Instagram", C::social, 3, "camera"},
        {"facebook", "Facebook", C::social, 4, "person.2"},
        {"reddit", "Reddit", C::social, 4, "bubble.left.and.bubble.right"},
        {"tiktok", "TikTok", C::social, 4, "music.note"},
        {"linkedin", "LinkedIn", C::social, 3, "briefcase"},
        {"netflix", "Netflix", C::media, 5, "film"},
        {"spotify", "Spotify", C::media, 4, "music.note.list"},
        {"twitch", "Twitch", C::media, 4, "tv"},
        {"github", "GitHub", C::developer, 4, "chevron.left.slash.chevron.right"},
        {"docker", "Docker Hub", C::developer, 4, "shippingbox"},
        {"npm", "npm registry", C::developer, 3, "shippingbox"},
        {"pypi", "PyPI", C::developer, 3, "shippingbox"},
        {"zoom", "Zoom", C::work, 3, "video"},
        {"notion", "Notion", C::work, 4, "note.text"},
        {"figma", "Figma", C::work, 3, "pencil.and.outline"},
        {"google-workspace", "Google Workspace", C::work, 6, "envelope"},
    };
    const auto& all = PresetCatalog::all();
    ASSERT_EQ(all.size(), std::size(rows));
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(rows[i].id);
        EXPECT_EQ(all[i].id, rows[i].id);
        EXPECT_EQ(all[i].name, rows[i].name);
        EXPECT_EQ(all[i].category, rows[i].category);
        EXPECT_EQ(all[i].hosts.size(), rows[i].hostCount);
        EXPECT_EQ(all[i].symbolName, rows[i].symbolName);
    }
    EXPECT_EQ(&PresetCatalog::all(), &all);
}

TEST(PresetCatalogTest, PatternsAreDistinctWithinEachPreset) {
    for (const auto& preset : PresetCatalog::all()) {
        SCOPED_TRACE(preset.id);
        EXPECT_EQ(std::set<std::string>(preset.hosts.begin(), preset.hosts.end()).size(),
                  preset.hosts.size());
        EXPECT_EQ(std::set<std::string>(preset.applications.begin(), preset.applications.end())
                      .size(),
                  preset.applications.size());
        for (const auto& host : preset.hosts) {
            EXPECT_TRUE(host.rfind("*.", 0) == 0 || host.find('*') == std::string::npos) << host;
        }
    }
}

TEST(PresetCatalogTest, EveryPatternPassesTheRuleEntryValidator) {
    for (const auto& preset : PresetCatalog::all()) {
        for (const auto& host : preset.hosts) {
            EXPECT_EQ(PatternValidator::hostPatternError(host), std::nullopt)
                << preset.id << ": " << host;
        }
        for (const auto& application : preset.applications) {
            EXPECT_EQ(PatternValidator::applicationPatternError(application), std::nullopt)
                << preset.id << ": " << application;
        }
    }
}

TEST(PresetCatalogTest, ApplicationPatternsAreLinuxFlatpakIdentifiers) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"telegram", {"org.telegram.desktop*"}},   {"signal", {"org.signal.Signal*"}},
        {"discord", {"com.discordapp.Discord*"}},  {"slack", {"com.slack.Slack*"}},
        {"spotify", {"com.spotify.Client*"}},      {"zoom", {"us.zoom.Zoom*"}},
    };
    std::size_t withApplications = 0;
    for (const auto& preset : PresetCatalog::all()) {
        if (!preset.applications.empty()) ++withApplications;
    }
    EXPECT_EQ(withApplications, expected.size());
    for (const auto& [id, applications] : expected) {
        EXPECT_EQ(byId(id).applications, applications) << id;
    }
}

TEST(PresetCategoryTest, CategoriesHaveTheirTitlesOrderAndPresetCounts) {
    struct Row {
        PresetCategory category;
        const char* title;
        std::size_t count;
    };
    const Row rows[] = {
        {PresetCategory::ai, "AI assistants", 8},   {PresetCategory::messaging, "Messaging", 5},
        {PresetCategory::social, "Social & video", 7}, {PresetCategory::media, "Media", 3},
        {PresetCategory::developer, "Developer", 4}, {PresetCategory::work, "Work", 4},
    };
    ASSERT_EQ(allPresetCategories.size(), std::size(rows));
    std::vector<ServicePreset> concatenated;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(allPresetCategories[i], rows[i].category);
        EXPECT_EQ(toString(rows[i].category), rows[i].title);
        EXPECT_EQ(presetCategoryFromString(rows[i].title), rows[i].category);
        const auto inCategory = PresetCatalog::presets(rows[i].category);
        EXPECT_EQ(inCategory.size(), rows[i].count) << rows[i].title;
        concatenated.insert(concatenated.end(), inCategory.begin(), inCategory.end());
    }
    EXPECT_EQ(concatenated, PresetCatalog::all());
    EXPECT_EQ(presetCategoryFromString("ai"), std::nullopt);
    EXPECT_EQ(presetCategoryFromString("messaging"), std::nullopt);
}

TEST(PresetCatalogTest, SearchFindsPresetsByNameIdentifierAndPatterns) {
    struct Case {
        std::string query;
        std::vector<std::string> ids;
    };
    const Case cases[] = {
        {"SLACK", {"slack"}},
        {" slack", {"slack"}},
        {"\tSlack\u3000", {"slack"}},
        {"com.slack", {"slack"}},  // only in the application pattern
        {"whatsapp", {"whatsapp"}},
        {"slack-edge", {"slack"}},  // only in a host pattern
        {"google-work", {"google-workspace"}},  // only in the identifier
        {"twitter", {"x"}},
        {"zzqx-none", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ids(PresetCatalog::search(c.query)), c.ids) << "query: " << c.query;
    }
}

TEST(PresetCatalogTest, SearchTreatsPatternCharactersAsPlainText) {
    EXPECT_EQ(ids(PresetCatalog::search("*.slack-msgs")), std::vector<std::string>{"slack"});
    EXPECT_EQ(ids(PresetCatalog::search("desktop*")), std::vector<std::string>{"telegram"});
    EXPECT_EQ(ids(PresetCatalog::search("s?ack")), std::vector<std::string>{});
}

TEST(PresetCatalogTest, EmptyOrBlankQueryReturnsEverything) {
    for (const char* query : {"", "   ", "\t \u00A0"}) {
        EXPECT_EQ(PresetCatalog::search(query), PresetCatalog::all()) << "query: " << query;
    }
}

TEST(PresetCatalogTest, SearchResultsKeepCatalogueOrder) {
    // "git" is in copilot's name and hosts and in github's; copilot comes first.
    EXPECT_EQ(ids(PresetCatalog::search("GitHub")),
              (std::vector<std::string>{"copilot", "github"}));
}

TEST(PresetCatalogTest, LooksUpPresetsByExactIdentifier) {
    EXPECT_EQ(PresetCatalog::preset("Claude"), std::nullopt);
    EXPECT_EQ(PresetCatalog::preset("claude"), PresetCatalog::all().front());
    EXPECT_EQ(PresetCatalog::preset("google-workspace"), PresetCatalog::all().back());
    EXPECT_EQ(PresetCatalog::preset(""), std::nullopt);
}

TEST(PresetCatalogTest, MergeKeepsFirstSeenOrderWithoutDuplicates) {
    const auto docker = byId("docker");
    const auto dockerTwice = PresetCatalog::merge({docker, docker});
    EXPECT_EQ(dockerTwice.hosts, docker.hosts);
    EXPECT_TRUE(dockerTwice.applications.empty());

    const auto messaging = PresetCatalog::merge({byId("telegram"), byId("whatsapp"), byId("slack")});
    EXPECT_EQ(messaging.applications,
              (std::vector<std::string>{"org.telegram.desktop*", "com.slack.Slack*"}));
    std::vector<std::string> hosts = byId("telegram").hosts;
    for (const auto& id : {"whatsapp", "slack"}) {
        const auto more = byId(id).hosts;
        hosts.insert(hosts.end(), more.begin(), more.end());
    }
    EXPECT_EQ(messaging.hosts, hosts);

    EXPECT_EQ(PresetCatalog::merge({}), PresetCatalog::MergedPatterns{});
}

TEST(PresetCatalogTest, MergeComparesPatternsAsExactText) {
    ServicePreset first{"a", "A", PresetCategory::work, {"org.example.App*"}, {"example.com"}, ""};
    ServicePreset second{"b", "B", PresetCategory::work, {"org.example.app*", "org.example.App*"},
                         {"EXAMPLE.com", "example.com", "*.example.com"}, ""};
    const auto merged = PresetCatalog::merge({first, second});
    EXPECT_EQ(merged.applications,
              (std::vector<std::string>{"org.example.App*", "org.example.app*"}));
    EXPECT_EQ(merged.hosts,
              (std::vector<std::string>{"example.com", "EXAMPLE.com", "*.example.com"}));
}

TEST(PresetCatalogTest, SuggestsRuleNames) {
    const auto claude = byId("claude");
    const auto chatgpt = byId("chatgpt");
    const auto gemini = byId("gemini");
    EXPECT_EQ(PresetCatalog::suggestedRuleName({}), "New Rule");
    EXPECT_EQ(PresetCatalog::suggestedRuleName({claude}), "Claude");
    EXPECT_EQ(PresetCatalog::suggestedRuleName({claude, chatgpt}), "Claude + ChatGPT / OpenAI");
    EXPECT_EQ(PresetCatalog::suggestedRuleName({claude, chatgpt, gemini}), "Claude + 2 more");
    EXPECT_EQ(PresetCatalog::suggestedRuleName(PresetCatalog::all()), "Claude + 30 more");
}

TEST(ServicePresetTest, EqualityAndHashCoverEveryField) {
    const auto slack = byId("slack");
    auto renamed = slack;
    renamed.symbolName = "star";
    EXPECT_NE(renamed, slack);
    auto reordered = slack;
    std::swap(reordered.hosts[0], reordered.hosts[1]);
    EXPECT_NE(reordered, slack);
    EXPECT_EQ(std::hash<ServicePreset>{}(slack), std::hash<ServicePreset>{}(byId("slack")));
    EXPECT_NE(std::hash<ServicePreset>{}(slack), std::hash<ServicePreset>{}(reordered));
}

}  // namespace
}  // namespace corvane
