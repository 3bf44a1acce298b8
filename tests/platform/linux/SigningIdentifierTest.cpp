#include "platform/linux/SigningIdentifier.hpp"

#include <gtest/gtest.h>

namespace corvane::platform {
namespace {

// A Flatpak application ID is credited only for a verified file of that
// application's system-wide installation; anything else is the file's name.
TEST(SigningIdentifier, IsTheFlatpakIDOnlyForAVerifiedFileOfItsInstallation) {
    const std::string viewer = "/var/lib/flatpak/app/org.example.Viewer/x86_64/stable/abc/files/bin/viewer";
    struct Case {
        std::optional<std::string> path;
        bool verified;
        std::string identifier;
    };
    const Case cases[] = {
        {viewer, true, "org.example.Viewer"},
        {viewer, false, "viewer"},
        {"/home/u/.local/share/flatpak/app/org.example.Viewer/x86_64/stable/abc/files/bin/viewer", true, "viewer"},
        {"/var/lib/flatpak/app/../bin/tool", true, "tool"},
        {"/var/lib/flatpak/app//bin/tool", true, "tool"},
        {"/usr/bin/curl", true, "curl"},
        {"curl", false, "curl"},
        {"/", false, ""},
        {std::nullopt, true, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(SigningIdentifier::of(c.path, c.verified), c.identifier) << c.path.value_or("none");
    EXPECT_EQ(SigningIdentifier::flatpakApplicationID(viewer), "org.example.Viewer");
    EXPECT_EQ(SigningIdentifier::flatpakApplicationID("/var/lib/flatpak/app/org.example.Viewer/"), std::nullopt);
}

}  // namespace
}  // namespace corvane::platform
