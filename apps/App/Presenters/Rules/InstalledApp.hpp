#pragma once

#include <string>

namespace corvane::app {

// An application the picker offers: installed (a desktop entry) or only seen
// in the connection records. `id` is the identifier the daemon reports for the
// program, so a rule made from it matches the program's connections.
struct InstalledApp {
    std::string id;
    std::string name;
    std::string path;  // the desktop entry; empty for an app known only from the records
    std::string icon;  // the entry's Icon= value: a theme icon name or a file path
    bool seenInLog = false;

    friend bool operator==(const InstalledApp&, const InstalledApp&) = default;
};

}  // namespace corvane::app
