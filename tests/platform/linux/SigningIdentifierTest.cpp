#include "platform/linux/SigningIdentifier.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

namespace corvane::platform {
namespace {

TEST(SigningIdentifier, ReadsTheFlatpakApplicationAndItsInstallation) {
    const std::string info =
        "[Application]\nname=org.example.Viewer\nruntime=runtime/org.gnome.Platform/x86_64/45\n\n"
        "[Instance]\ninstance-id=123\napp-path=/var/lib/flatpak/app/org.example.Viewer/x86_64/stable/abc/files\n";
    EXPECT_EQ(SigningIdentifier::flatpakApplicationID(info), "org.example.Viewer");
    EXPECT_EQ(SigningIdentifier::flatpakAppPath(info), "/var/lib/flatpak/app/org.example.Viewer/x86_64/stable/abc/files");
    EXPECT_EQ(SigningIdentifier::flatpakApplicationID("[Instance]\nname=wrong.section\n"), std::nullopt);
    EXPECT_EQ(SigningIdentifier::flatpakApplicationID("[Application]\nname=\n"), std::nullopt);
    EXPECT_EQ(SigningIdentifier::flatpakApplicationID("[Application]\r\n name = org.x.Y \r\n"), "org.x.Y");
    EXPECT_EQ(SigningIdentifier::flatpakApplicationID("[Application]\nname=org.\xFF\n"), "org.\xEF\xBF\xBD");
}

TEST(SigningIdentifier, IsTheExecutablesFileNameOutsideFlatpak) {
    EXPECT_EQ(SigningIdentifier::fileName("/usr/bin/curl"), "curl");
    EXPECT_EQ(SigningIdentifier::fileName("curl"), "curl");
    EXPECT_EQ(SigningIdentifier::fileName("/"), "");
    char path[4096];
    const auto length = ::readlink("/proc/self/exe", path, sizeof(path));
    ASSERT_GT(length, 0);
    EXPECT_EQ(SigningIdentifier::forProcess(::getpid()),
              SigningIdentifier::fileName(std::string_view(path, static_cast<std::size_t>(length))));
    EXPECT_EQ(SigningIdentifier::forProcess(0), "");
    EXPECT_EQ(SigningIdentifier::forProcess(0x3FFFFFFF), "");
}

}  // namespace
}  // namespace corvane::platform
