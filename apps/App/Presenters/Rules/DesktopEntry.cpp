#include "DesktopEntry.hpp"

#include <fstream>
#include <iterator>
#include <utility>

#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::app {

namespace {

std::string_view withoutSpaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

std::string unescaped(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's': out += ' '; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default:
                out += '\\';
                out += value[i];
        }
    }
    return unicode::replacingInvalidUTF8(out);
}

bool isEnvironmentAssignment(std::string_view word) {
    const auto equals = word.find('=');
    if (equals == 0 || equals == std::string_view::npos) return false;
    for (std::size_t i = 0; i < equals; ++i) {
        const char c = word[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

// Inside double quotes of an Exec= value, a backslash escapes these.
bool isQuotedEscape(char c) { return c == '"' || c == '`' || c == '$' || c == '\\'; }

std::string fileName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<DesktopEntry> DesktopEntry::read(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaximumSize) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) return std::nullopt;
    return parse(text);
}

std::optional<DesktopEntry> DesktopEntry::parse(std::string_view text) {
    DesktopEntry entry;
    bool found = false;
    bool inGroup = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const auto line = withoutSpaces(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            inGroup = line == "[Desktop Entry]" && !found;
            found = found || inGroup;
            continue;
        }
        const auto equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos) continue;
        const auto key = withoutSpaces(line.substr(0, equals));
        const auto value = withoutSpaces(line.substr(equals + 1));
        if (!key.empty()) entry.values_.try_emplace(std::string(key), unescaped(value));
    }
    if (!found) return std::nullopt;
    return entry;
}

std::optional<std::string> DesktopEntry::value(const std::string& key) const {
    const auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> DesktopEntry::localizedValue(const std::string& key, std::string_view locale) const {
    const auto modifier = locale.find_first_of(".@");
    const std::string full(locale.substr(0, modifier));
    const std::string language = full.substr(0, full.find('_'));
    for (const std::string& tag : {full, language}) {
        if (tag.empty()) continue;
        if (auto text = value(key + "[" + tag + "]")) return text;
    }
    return value(key);
}

bool DesktopEntry::isTrue(const std::string& key) const { return value(key) == "true"; }

std::vector<std::string> DesktopEntry::execArguments(std::string_view exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec.size() && isQuotedEscape(exec[i + 1])) {
                word += exec[++i];
            } else {
                word += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words.push_back(std::exchange(word, {}));
            inWord = false;
        } else {
            inWord = true;
            if (c == '"') {
                quoted = true;
            } else {
                word += c;
            }
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

std::optional<std::string> DesktopEntry::execProgram(std::string_view exec) {
    const auto words = execArguments(exec);
    std::size_t i = 0;
    if (i < words.size() && fileName(words[i]) == "env") {
        ++i;
        while (i < words.size() && isEnvironmentAssignment(words[i])) ++i;
    }
    if (i == words.size() || words[i].empty()) return std::nullopt;
    return words[i];
}

}  // namespace corvane::app
