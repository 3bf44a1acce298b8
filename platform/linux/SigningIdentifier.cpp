#include "SigningIdentifier.hpp"

#include "ProcessFiles.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::platform {

namespace {

std::string_view stripped(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<std::string> SigningIdentifier::iniValue(std::string_view text, std::string_view section,
                                                       std::string_view key) {
    bool inSection = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const auto line = stripped(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.starts_with('[') && line.ends_with(']')) {
            inSection = line.substr(1, line.size() - 2) == section;
            continue;
        }
        const auto equals = line.find('=');
        if (!inSection || equals == std::string_view::npos || stripped(line.substr(0, equals)) != key) continue;
        const auto value = stripped(line.substr(equals + 1));
        if (value.empty()) return std::nullopt;
        return unicode::replacingInvalidUTF8(value);
    }
    return std::nullopt;
}

std::optional<std::string> SigningIdentifier::flatpakApplicationID(std::string_view flatpakInfo) {
    return iniValue(flatpakInfo, "Application", "name");
}

std::optional<std::string> SigningIdentifier::flatpakAppPath(std::string_view flatpakInfo) {
    return iniValue(flatpakInfo, "Instance", "app-path");
}

std::string SigningIdentifier::fileName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string SigningIdentifier::forProcess(int pid) {
    if (pid < 1) return "";
    const auto directory = procfs::processDirectory(pid);
    if (const auto info = procfs::readSmallFile(directory + "/root/.flatpak-info")) {
        if (auto id = flatpakApplicationID(*info)) return *id;
    }
    const auto path = procfs::executablePath(pid);
    return path ? fileName(*path) : "";
}

}  // namespace corvane::platform
