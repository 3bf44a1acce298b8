#pragma once

#include <string>

namespace corvane::platform {

// The daemon's own version texts, reported to the app on HELLO.
struct ExtensionVersion {
    std::string shortVersion;
    std::string build;
};

}  // namespace corvane::platform
