#include "platform/SystemExtensionMode.hpp"

#include <gtest/gtest.h>

namespace corvane::platform {
namespace {

TEST(ExtensionDirectories, TakeTheFirstEntryOfEachVariableOrTheDefaults) {
    struct Case {
        const char* runtime;
        const char* state;
        const char* expectedRuntime;
        const char* expectedState;
    };
    const Case cases[] = {
        {nullptr, nullptr, "/run/corvane", "/var/lib/corvane"},
        {"", "", "/run/corvane", "/var/lib/corvane"},
        {"/run/corvane", "/var/lib/corvane", "/run/corvane", "/var/lib/corvane"},
        {"/run/a:/run/b", "/tmp/s:/tmp/t", "/run/a", "/tmp/s"},
        {":/run/b", "/tmp/s", "/run/corvane", "/tmp/s"},
    };
    for (const auto& c : cases) {
        auto directories = ExtensionDirectories::fromValues(c.runtime, c.state);
        EXPECT_EQ(directories.runtimeDirectory, c.expectedRuntime);
        EXPECT_EQ(directories.stateDirectory, c.expectedState);
    }
}

}  // namespace
}  // namespace corvane::platform
