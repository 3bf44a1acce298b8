#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "Model/ConfigStore.hpp"
#include "Support/Profiles.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string documentOf(const Profile& profile) {
    const auto bytes = ProfileCodec::encode(profile, true);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<fs::path> setAside(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("profile.json.unreadable-")) found.push_back(entry.path());
    }
    return found;
}

class ConfigStoreTest : public ::testing::Test {
protected:
    platform::testing::TemporaryDirectory folder;
    bool withSharedFolder = true;
    ConfigStore store{[this] {
        const auto container = withSharedFolder ? std::optional(shared()) : std::nullopt;
        return SharedConstants::Folders{container, folder.path() / "data"};
    }};

    fs::path shared() const { return folder.path() / "shared"; }
    fs::path current() const { return shared() / "profile.json"; }
    fs::path legacy() const { return folder.path() / "data" / "Corvane" / "profile.json"; }

    const Profile sample = profileWith({proxyNamed("A", "secret")}, RuleAction::block());
};

TEST_F(ConfigStoreTest, WithNeitherFileTheDefaultIsReturnedAndNothingWritten) {
    const Profile loaded = store.load();
    EXPECT_TRUE(loaded.proxies.empty());
    ASSERT_EQ(loaded.rules.size(), 1u);
    EXPECT_EQ(loaded.rules.front().name, Profile::makeDefault().rules.front().name);
    EXPECT_FALSE(fs::exists(current()));
    EXPECT_FALSE(fs::exists(legacy()));
}

TEST_F(ConfigStoreTest, ALegacyProfileIsTakenOverWithBlankPasswordsAndKept) {
    const Profile& profile = sample;
    write(legacy(), documentOf(profile));
    EXPECT_EQ(store.load(), profile);
    ASSERT_TRUE(fs::exists(current()));
    EXPECT_TRUE(fs::exists(legacy()));
    EXPECT_EQ(contentOf(current()), documentOf(profile.strippingCredentialSecrets()));
}

TEST_F(ConfigStoreTest, StoresAPrettySortedDocumentWithoutPasswords) {
    const Profile& profile = sample;
    store.save(profile);
    const std::string stored = contentOf(current());
    EXPECT_EQ(stored, documentOf(profile.strippingCredentialSecrets()));
    EXPECT_NE(stored.find("\n  \"profile\""), std::string::npos);
    EXPECT_EQ(stored.find("secret"), std::string::npos);
    EXPECT_NE(stored.find("\"alice\""), std::string::npos);
    EXPECT_EQ(store.load(), profile.strippingCredentialSecrets());
}

TEST_F(ConfigStoreTest, ABareProfileObjectIsAccepted) {
    const Profile profile = sample.strippingCredentialSecrets();
    write(current(), toJson(profile).dump());
    EXPECT_EQ(store.load(), profile);
}

// A damaged or newer file is never replaced: the first save moves it aside as
// it is, once, and later saves leave the copy alone.
TEST_F(ConfigStoreTest, AnUnreadableProfileIsSetAsideByteForByteBeforeTheFirstWrite) {
    const std::vector<std::pair<const char*, std::string>> unreadable = {
        {"cut off", "{\"version\":1,\"profile\":{\"proxies\":["},
        {"newer version", "{\"version\":2,\"profile\":{\"proxies\":[],\"rules\":[],\"defaultAction\":{\"block\":{}}}}"},
        {"not JSON", std::string("\xff\x00garbage", 9)},
    };
    for (const bool withLegacy : {false, true}) {
        for (const auto& [name, bytes] : unreadable) {
            fs::remove_all(folder.path() / "shared");
            fs::remove_all(folder.path() / "data");
            write(current(), bytes);
            const Profile older = profileWith({proxyNamed("legacy")});
            if (withLegacy) write(legacy(), documentOf(older));

            const Profile loaded = store.load();
            EXPECT_EQ(loaded.proxies.size(), withLegacy ? 1u : 0u) << name;
            store.save(loaded);
            store.save(sample);

            const auto copies = setAside(shared());
            ASSERT_EQ(copies.size(), 1u) << name;
            EXPECT_EQ(contentOf(copies.front()), bytes) << name;
            EXPECT_EQ(store.load(), sample.strippingCredentialSecrets()) << name;
        }
    }
}

TEST_F(ConfigStoreTest, MissingFoldersAreCreatedForTheOwnerOnly) {
    withSharedFolder = false;
    store.save(sample);
    EXPECT_TRUE(fs::exists(legacy()));
    struct stat info {};
    ASSERT_EQ(::stat(legacy().parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(store.legacyLocation(), std::nullopt);
}

TEST_F(ConfigStoreTest, AFileInTheFolderPlaceFailsTheSaveAndChangesNothing) {
    write(shared(), "not a folder");
    const Profile& profile = sample;
    write(legacy(), documentOf(profile.strippingCredentialSecrets()));
    const std::string before = contentOf(legacy());
    EXPECT_THROW(store.save(profile), ConfigStore::SaveError);
    EXPECT_EQ(contentOf(shared()), "not a folder");
    EXPECT_EQ(contentOf(legacy()), before);
}

TEST(ConfigStore, WithoutAnyFolderSavingFailsWithItsText) {
    ConfigStore store([] { return SharedConstants::Folders{}; });
    try {
        store.save(Profile{});
        FAIL() << "saved without a folder";
    } catch (const ConfigStore::SaveError& e) {
        EXPECT_STREQ(e.what(), "No folder is available for the profile file.");
    }
    EXPECT_EQ(store.load().rules.size(), Profile::makeDefault().rules.size());
}

}  // namespace
}  // namespace corvane::app::testing
