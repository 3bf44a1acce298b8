#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::app {

class AppState;

// Launch at login through an XDG autostart entry of the app itself:
// "<autostart folder>/<app identifier>.desktop". The entry counts as enabled
// while it exists, reads as a desktop entry and is not hidden. Main thread only.
class LoginItem {
public:
    // `autostartFolder`: none when the system offers no configuration folder;
    // `command`: the program and its arguments to start at login.
    LoginItem(std::optional<std::filesystem::path> autostartFolder, std::vector<std::string> command);

    // $XDG_CONFIG_HOME/autostart (absolute only), else ~/.config/autostart,
    // starting the app at `appPath`.
    static LoginItem forCurrentUser(const std::filesystem::path& appPath);
    static std::optional<std::filesystem::path> autostartFolder(const char* xdgConfigHome, const char* home);

    std::optional<std::filesystem::path> entryPath() const;
    bool isEnabled() const;
    // Writes or removes the entry. A failure sets `state.lastError` to "Could
    // not enable launch at login: " or "Could not disable launch at login: "
    // and the reason; success leaves an earlier error alone.
    void setEnabled(bool on, AppState& state) const;

    // The entry's full text.
    std::string entryText() const;
    // One argument of an Exec= line, quoted per the Desktop Entry rules and
    // escaped as a desktop file string value.
    static std::string execArgument(std::string_view argument);

private:
    // The reason it failed, or none.
    std::optional<std::string> enable() const;
    std::optional<std::string> disable() const;

    std::optional<std::filesystem::path> folder_;
    std::vector<std::string> command_;
};

}  // namespace corvane::app
