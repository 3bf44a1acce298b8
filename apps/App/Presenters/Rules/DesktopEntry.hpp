#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::app {

// The [Desktop Entry] group of an XDG desktop entry file: what the application
// picker needs to list an installed application. Keys keep their first value;
// string values are unescaped (\s \n \t \r \\); text that is not UTF-8 gets
// U+FFFD.
class DesktopEntry {
public:
    // Larger files are not desktop entries worth reading.
    static constexpr std::size_t kMaximumSize = 256 * 1024;

    // None when the file cannot be read, is too large or has no [Desktop Entry] group.
    static std::optional<DesktopEntry> read(const std::filesystem::path& path);
    static std::optional<DesktopEntry> parse(std::string_view text);

    std::optional<std::string> value(const std::string& key) const;
    // `key[ll_CC]`, then `key[ll]`, then `key`, for a locale name like "de_DE".
    std::optional<std::string> localizedValue(const std::string& key, std::string_view locale) const;
    // Whether the key holds "true".
    bool isTrue(const std::string& key) const;

    // The words of an Exec= value after the Exec quoting rules (double quotes,
    // and \" \` \$ \\ inside them).
    static std::vector<std::string> execArguments(std::string_view exec);
    // The program an Exec= value runs: its first word, past `env` and the
    // VAR=value words after it; none for an empty command.
    static std::optional<std::string> execProgram(std::string_view exec);

private:
    std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace corvane::app
