#include "Tunnel/CodeSignatureResolver.hpp"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <map>
#include <thread>

#include <gtest/gtest.h>

namespace corvane::tunnel {
namespace {

using Resolution = CodeSignatureResolver::Resolution;

// Code-signing steps scripted per process identifier, counting every call.
class ScriptedCodeSigning : public platform::CodeSigning {
public:
    struct Script {
        bool guest = true;
        bool staticCode = true;
        bool valid = true;
        std::optional<nlohmann::json> information = nlohmann::json::object();
        bool requirement = true;
        bool anchored = false;
    };
    struct PidCode : Code {
        explicit PidCode(std::int32_t pid) : pid(pid) {}
        std::int32_t pid;
    };
    struct Anchor : Requirement {};

    std::map<std::int32_t, Script> scripts;
    std::atomic<int> calls = 0;

    std::shared_ptr<Code> guestWithAuditToken(std::span<const std::uint8_t, 32> token) override {
        ++calls;
        std::int32_t pid = 0;
        std::memcpy(&pid, token.data() + 20, 4);
        if (!script(pid).guest) return nullptr;
        return std::make_shared<PidCode>(pid);
    }
    std::shared_ptr<Code> staticCode(const Code& guest) override {
        ++calls;
        const auto& code = dynamic_cast<const PidCode&>(guest);
        return script(code.pid).staticCode ? std::make_shared<PidCode>(code.pid) : nullptr;
    }
    bool checkValidity(const Code& code, std::uint32_t flags, const Requirement* requirement) override {
        ++calls;
        EXPECT_EQ(flags, 6u);
        const Script& s = script(dynamic_cast<const PidCode&>(code).pid);
        return requirement ? s.anchored : s.valid;
    }
    std::optional<nlohmann::json> signingInformation(const Code& code, std::uint32_t flags) override {
        ++calls;
        EXPECT_EQ(flags, 2u);
        return script(dynamic_cast<const PidCode&>(code).pid).information;
    }
    std::shared_ptr<Requirement> createRequirement(std::string_view text) override {
        ++calls;
        EXPECT_EQ(text, "anchor apple");
        return requirementAvailable ? std::make_shared<Anchor>() : nullptr;
    }

    bool requirementAvailable = true;

private:
    const Script& script(std::int32_t pid) { return scripts[pid]; }
};

// Paths scripted per process identifier: the length to report and the bytes to write.
class ScriptedPaths : public platform::ExecutablePathLookup {
public:
    std::map<int, std::string> paths;
    std::map<int, int> reportedLengths;
    mutable int calls = 0;

    int pidPath(int pid, char* buffer, std::size_t size) const override {
        ++calls;
        auto found = paths.find(pid);
        if (found == paths.end()) return -1;
        const std::string& path = found->second;
        std::memcpy(buffer, path.data(), std::min(size, path.size()));
        auto length = reportedLengths.find(pid);
        return length != reportedLengths.end() ? length->second : static_cast<int>(path.size());
    }
};

platform::Bytes token(std::int32_t pid, std::uint32_t salt = 0) {
    platform::Bytes bytes(32, 0);
    std::memcpy(bytes.data(), &salt, 4);
    std::memcpy(bytes.data() + 20, &pid, 4);
    return bytes;
}

class CodeSignatureResolverTest : public ::testing::Test {
protected:
    ScriptedCodeSigning signing;
    ScriptedPaths paths;
    CodeSignatureResolver resolver{signing, paths};
};

TEST_F(CodeSignatureResolverTest, TokensOfTheWrongSizeAreUnverifiedAndNeverCached) {
    paths.paths[7] = "/usr/bin/curl";
    for (const std::optional<platform::Bytes>& bad :
         {std::optional<platform::Bytes>(), std::optional(platform::Bytes(31, 0)), std::optional(platform::Bytes(33, 0))}) {
        EXPECT_EQ(resolver.resolve(bad), (Resolution{CodeIdentity::unverified, std::nullopt}));
    }
    EXPECT_EQ(signing.calls, 0);
    EXPECT_EQ(paths.calls, 0);
    EXPECT_EQ(resolver.count(), 0u);

    EXPECT_EQ(resolver.resolve(token(7)), (Resolution{CodeIdentity{true, std::nullopt, false}, "/usr/bin/curl"}));
    EXPECT_EQ(resolver.count(), 1u);
}

TEST_F(CodeSignatureResolverTest, EachStepMapsToItsOutcome) {
    using Script = ScriptedCodeSigning::Script;
    struct Case {
        const char* name;
        Script script;
        CodeIdentity expected;
    };
    const Case cases[] = {
        {"no guest", Script{.guest = false}, CodeIdentity::unverified},
        {"no static code", Script{.staticCode = false}, CodeIdentity::unverified},
        {"invalid", Script{.valid = false, .anchored = true}, CodeIdentity::unverified},
        {"no signing information", Script{.information = std::nullopt, .anchored = true}, {true, std::nullopt, false}},
        {"information not a dictionary", Script{.information = nlohmann::json::array(), .anchored = true},
         {true, std::nullopt, false}},
        {"team not a string", Script{.information = nlohmann::json{{"teamid", 5}}}, {true, std::nullopt, false}},
        {"team", Script{.information = nlohmann::json{{"teamid", "4QZ8N1VK3T"}}}, {true, "4QZ8N1VK3T", false}},
        {"anchored", Script{.anchored = true}, {true, std::nullopt, true}},
    };
    std::int32_t pid = 100;
    for (const Case& c : cases) {
        signing.scripts[++pid] = c.script;
        EXPECT_EQ(resolver.resolve(token(pid)).identity, c.expected) << c.name;
    }
}

TEST_F(CodeSignatureResolverTest, WithoutTheRequirementNothingIsAPlatformBinary) {
    signing.requirementAvailable = false;
    signing.scripts[5] = {.anchored = true};
    EXPECT_EQ(resolver.resolve(token(5)).identity, (CodeIdentity{true, std::nullopt, false}));
}

TEST_F(CodeSignatureResolverTest, PathNeedsAPositivePidAndAWholePath) {
    struct Case {
        std::int32_t pid;
        std::string path;
        std::optional<int> reported;
        std::optional<std::string> expected;
    };
    const std::string long1023(1023, 'a');
    const Case cases[] = {
        {0, "/usr/bin/zero", std::nullopt, std::nullopt},
        {-1, "/usr/bin/negative", std::nullopt, std::nullopt},
        {11, "/usr/bin/unknown", 0, std::nullopt},
        {12, "/usr/bin/failed", -1, std::nullopt},
        {13, "/" + long1023, std::nullopt, "/" + long1023},
        {14, std::string(4096, 'b'), 4096, std::nullopt},
        {15, "/opt/app\xff", std::nullopt, "/opt/app\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        paths.paths[c.pid] = c.path;
        if (c.reported) paths.reportedLengths[c.pid] = *c.reported;
        const Resolution resolution = resolver.resolve(token(c.pid));
        EXPECT_EQ(resolution.path, c.expected) << c.pid;
        // The identity is computed whatever becomes of the path.
        EXPECT_TRUE(resolution.identity.isValid) << c.pid;
    }
}

TEST_F(CodeSignatureResolverTest, HitsMakeNoCallsAndTheOldestIsEvictedFirst) {
    paths.paths[1] = "/usr/bin/first";
    resolver.resolve(token(1, 0));
    const int callsAfterFirst = signing.calls;
    for (std::uint32_t salt = 1; salt < 512; ++salt) resolver.resolve(token(2, salt));
    EXPECT_EQ(resolver.count(), 512u);

    // A hit costs no signing call and does not save the token from eviction.
    paths.paths[1] = "/usr/bin/changed";
    const int callsBeforeHit = signing.calls;
    EXPECT_EQ(resolver.resolve(token(1, 0)).path, "/usr/bin/first");
    EXPECT_EQ(signing.calls, callsBeforeHit);
    EXPECT_GT(callsAfterFirst, 0);

    resolver.resolve(token(3, 0));  // the 513th token
    EXPECT_EQ(resolver.count(), 512u);
    EXPECT_EQ(resolver.resolve(token(1, 0)).path, "/usr/bin/changed");
    EXPECT_GT(signing.calls, callsBeforeHit);
}

// Paths that block until both callers are computing, so both miss the cache.
class RendezvousPaths : public platform::ExecutablePathLookup {
public:
    mutable std::mutex lock;
    mutable std::condition_variable arrived;
    mutable int waiting = 0;
    mutable int served = 0;

    int pidPath(int, char* buffer, std::size_t) const override {
        std::unique_lock guard(lock);
        ++waiting;
        arrived.notify_all();
        arrived.wait_for(guard, std::chrono::seconds(2), [&] { return waiting >= 2; });
        const std::string path = "/usr/bin/caller" + std::to_string(++served);
        std::memcpy(buffer, path.data(), path.size());
        return static_cast<int>(path.size());
    }
};

TEST(CodeSignatureResolverRaceTest, ConcurrentMissesEachReturnTheirOwnResultAndOneIsStored) {
    ScriptedCodeSigning signing;
    RendezvousPaths paths;
    signing.scripts[9] = {};
    CodeSignatureResolver resolver(signing, paths);
    std::optional<std::string> first;
    std::optional<std::string> second;
    std::thread a([&] { first = resolver.resolve(token(9)).path; });
    std::thread b([&] { second = resolver.resolve(token(9)).path; });
    a.join();
    b.join();
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(resolver.count(), 1u);
    const auto stored = resolver.resolve(token(9)).path;
    EXPECT_TRUE(stored == first || stored == second);
}

}  // namespace
}  // namespace corvane::tunnel
