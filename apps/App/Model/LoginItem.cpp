#include "LoginItem.hpp"

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "AppState.hpp"
#include "AtomicFile.hpp"
#include "Shared/AppIdentifiers.hpp"

namespace corvane::app {

namespace fs = std::filesystem;

namespace {

// An entry larger than this is not ours and does not count as enabled.
constexpr std::uintmax_t kMaxEntrySize = 64 * 1024;

// Characters that make an Exec= argument need quotes.
bool isReserved(char c) {
    static constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    return reserved.find(c) != std::string_view::npos;
}

// The argument inside double quotes, with `"`, `` ` ``, `$` and `\` escaped.
std::string quoted(std::string_view argument) {
    std::string out = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The escapes of a desktop file's string values, applied over the quoting.
std::string asStringValue(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

// Whether the file is a desktop entry that is not hidden.
bool isShownEntry(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > kMaxEntrySize || error) return false;
    std::ifstream in(path);
    std::string line;
    bool inEntry = false;
    bool sawEntry = false;
    bool hidden = false;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            sawEntry = sawEntry || inEntry;
            continue;
        }
        if (inEntry && line.rfind("Hidden", 0) == 0) {
            const auto equals = line.find('=');
            if (equals != std::string::npos && trimmed(line.substr(6, equals - 6)).empty()) {
                hidden = trimmed(line.substr(equals + 1)) == "true";
            }
        }
    }
    return sawEntry && !hidden;
}

}  // namespace

LoginItem::LoginItem(std::optional<fs::path> autostartFolder, std::vector<std::string> command)
    : folder_(std::move(autostartFolder)), command_(std::move(command)) {}

LoginItem LoginItem::forCurrentUser(const fs::path& appPath) {
    return LoginItem(autostartFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")), {appPath.string()});
}

std::optional<fs::path> LoginItem::autostartFolder(const char* xdgConfigHome, const char* home) {
    if (xdgConfigHome && fs::path(xdgConfigHome).is_absolute()) return fs::path(xdgConfigHome) / "autostart";
    if (home && *home) return fs::path(home) / ".config" / "autostart";
    return std::nullopt;
}

std::optional<fs::path> LoginItem::entryPath() const {
    if (!folder_) return std::nullopt;
    return *folder_ / (std::string(AppIdentifiers::appIdentifier) + ".desktop");
}

bool LoginItem::isEnabled() const {
    const auto path = entryPath();
    return path && isShownEntry(*path);
}

void LoginItem::setEnabled(bool on, AppState& state) const {
    const auto failure = on ? enable() : disable();
    if (!failure) return;
    state.setLastError(std::string(on ? "Could not enable launch at login: " : "Could not disable launch at login: ") +
                       *failure);
}

std::string LoginItem::entryText() const {
    std::string exec;
    for (const auto& argument : command_) exec += (exec.empty() ? "" : " ") + execArgument(argument);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" + std::string(AppIdentifiers::productName) + "\n"
           "Exec=" + exec + "\n"
           "Terminal=false\n";
}

std::string LoginItem::execArgument(std::string_view argument) {
    bool needsQuotes = argument.empty();
    for (const char c : argument) needsQuotes = needsQuotes || isReserved(c);
    std::string text = needsQuotes ? quoted(argument) : std::string(argument);
    std::string percents;
    for (const char c : text) percents += c == '%' ? std::string("%%") : std::string(1, c);
    return asStringValue(percents);
}

std::optional<std::string> LoginItem::enable() const {
    if (!folder_) return "Neither XDG_CONFIG_HOME nor HOME names a configuration folder.";
    std::error_code error;
    fs::create_directories(*folder_, error);
    if (error) return "Could not create “" + folder_->string() + "”: " + error.message() + ".";
    const std::string text = entryText();
    try {
        AtomicFile::write(*entryPath(), {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, 0644);
    } catch (const AtomicFile::WriteError& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

std::optional<std::string> LoginItem::disable() const {
    const auto path = entryPath();
    if (!path) return std::nullopt;
    std::error_code error;
    fs::remove(*path, error);
    if (error) return "Could not remove “" + path->string() + "”: " + error.message() + ".";
    return std::nullopt;
}

}  // namespace corvane::app
