#include "platform/host/ConfigurationStore.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <set>

#include <gtest/gtest.h>

#include "platform/testing/CaptureLogSink.hpp"

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

TransparentProxyConfiguration sample() {
    return {"Corvane", true,
            {"org.corvane.Corvane.tunnel", "Corvane",
             ConfigurationDictionary{{"profile", Bytes{'{', '}'}},
                                     {"proxySecrets", StringMap{{"9F0C4E1A-0000-4000-8000-000000000001", "pw"}}},
                                     {"note", nlohmann::json("text")}}}};
}

class ConfigurationStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-store-XXXXXX";
        directory = ::mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(directory); }

    std::vector<fs::path> asideFiles() const {
        std::vector<fs::path> out;
        for (const auto& entry : fs::directory_iterator(directory)) {
            if (entry.path().filename().string().rfind("configuration.json.damaged-", 0) == 0) out.push_back(entry.path());
        }
        return out;
    }

    fs::path directory;
    testing::ScopedLogCapture capture;
};

TEST_F(ConfigurationStoreTest, SaveAndReloadKeepEveryValueType) {
    {
        ConfigurationStore store(directory);
        EXPECT_TRUE(store.load().empty());
        EXPECT_EQ(store.protocolConfiguration(), nullptr);
        store.save(sample());
        EXPECT_EQ(store.load(), std::vector{sample()});
        EXPECT_EQ(*store.protocolConfiguration(), sample().protocolConfiguration);
    }
    ConfigurationStore reopened(directory);
    EXPECT_EQ(reopened.load(), std::vector{sample()});
    const auto& values = *reopened.protocolConfiguration()->providerConfiguration;
    EXPECT_TRUE(std::holds_alternative<Bytes>(values.at("profile")));
    EXPECT_TRUE(std::holds_alternative<StringMap>(values.at("proxySecrets")));

    struct stat info {};
    ASSERT_EQ(::stat((directory / "configuration.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(ConfigurationStoreTest, ASaveReplacesTheConfiguration) {
    ConfigurationStore store(directory);
    store.save(sample());
    auto other = sample();
    other.enabled = false;
    other.protocolConfiguration.providerConfiguration.reset();
    store.save(other);
    EXPECT_EQ(ConfigurationStore(directory).load(), std::vector{other});
}

// A configuration the file could not give back after a restart is refused when it
// is saved, with its reason, and the saved one stays.
TEST_F(ConfigurationStoreTest, AConfigurationThatWouldNotReadBackIsRefusedAndTheSavedOneKept) {
    const auto withValue = [](nlohmann::json value) {
        auto configuration = sample();
        (*configuration.protocolConfiguration.providerConfiguration)["value"] = std::move(value);
        return configuration;
    };
    const auto nested = [](std::size_t depth, const std::string& inside) {
        return nlohmann::json::parse(std::string(depth, '[') + inside + std::string(depth, ']'));
    };
    std::string zeros = "0";
    for (int i = 0; i < 140000; ++i) zeros += ",0";
    const std::string tooLarge = "The configuration is too large to store: it takes ";
    const std::string notReadBack = "The configuration cannot be stored, as it would not read back: ";
    const std::pair<TransparentProxyConfiguration, std::string> cases[] = {
        // 10 KB of text 5,000 levels deep: some 50 MB once written with indentation.
        {withValue(nested(5000, "")), notReadBack + "The data is nested more than 64 levels deep."},
        // 280 KB of text: 140,000 numbers 60 levels deep take over 17 MB written.
        {withValue(nested(60, zeros)), tooLarge},
        // Within the value, at 62 levels, the file nests 65 levels deep.
        {withValue(nested(62, "")), notReadBack + "The data is nested more than 64 levels deep."},
        {withValue(std::numeric_limits<double>::infinity()), notReadBack + "it reads back differently"},
    };
    ConfigurationStore store(directory);
    store.save(sample());
    for (const auto& [configuration, reason] : cases) {
        try {
            store.save(configuration);
            ADD_FAILURE() << "saved: " << reason;
        } catch (const ConfigurationStoreError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, reason.size()), reason);
        }
        EXPECT_EQ(store.load(), std::vector{sample()});
        EXPECT_EQ(ConfigurationStore(directory).load(), std::vector{sample()});
        EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 1);
    }
}

TEST_F(ConfigurationStoreTest, ADamagedFileIsSetAsideAndReportedUntilTheNextSave) {
    const std::string withValue = R"({"localizedDescription":"C","enabled":true,
        "protocol":{"providerBundleIdentifier":"a","serverAddress":"b","providerConfiguration":{"profile":)";
    const std::string nested = std::string(50000, '[') + std::string(50000, ']');
    for (const std::string& content : {std::string("{not json"), std::string(R"({"enabled":true})"),
                                       withValue + R"({"$data":"@@"}}}})", withValue + nested + "}}}"}) {
        std::ofstream(directory / "configuration.json") << content;
        ConfigurationStore store(directory);
        EXPECT_THROW(store.load(), ConfigurationStoreError) << content.substr(0, 80);
        EXPECT_EQ(store.protocolConfiguration(), nullptr);
        EXPECT_FALSE(fs::exists(directory / "configuration.json"));
        ASSERT_EQ(asideFiles().size(), 1u);
        std::ifstream aside(asideFiles()[0]);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), content);  // nothing lost

        store.save(sample());
        EXPECT_EQ(store.load(), std::vector{sample()});
        fs::remove(asideFiles()[0]);
    }
    ASSERT_EQ(capture->entries().size(), 4u);
    EXPECT_EQ(capture->entries()[0].level, LogLevel::error);
    EXPECT_NE(capture->lines()[3].find("(The data is nested more than 64 levels deep.)"), std::string::npos);
}

TEST_F(ConfigurationStoreTest, AnEarlierDamagedCopyIsNeverReplaced) {
    for (const char* content : {"first", "second", "third"}) {
        std::ofstream(directory / "configuration.json") << content;
        ConfigurationStore store(directory);
    }
    std::set<std::string> kept;
    for (const auto& path : asideFiles()) {
        std::ifstream in(path);
        kept.insert(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    EXPECT_EQ(kept, (std::set<std::string>{"first", "second", "third"}));
}

TEST_F(ConfigurationStoreTest, ASymbolicLinkIsNotFollowed) {
    std::ofstream(directory / "elsewhere.json") << "secret";
    fs::create_symlink(directory / "elsewhere.json", directory / "configuration.json");
    ConfigurationStore store(directory);
    EXPECT_THROW(store.load(), ConfigurationStoreError);
    EXPECT_TRUE(fs::exists(directory / "elsewhere.json"));
}

}  // namespace
}  // namespace corvane::platform
