#include "BundledDaemon.hpp"

#include <fstream>
#include <iterator>

#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::app {

namespace fs = std::filesystem;

namespace {

bool isPrintableLine(const std::string& text) {
    if (text.empty() || !unicode::isValidUTF8(text)) return false;
    for (const unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace

BundledDaemon BundledDaemon::locate(const fs::path& appDirectory) {
    const fs::path installed = appDirectory / ".." / "libexec" / "corvane";
    std::error_code error;
    if (fs::is_regular_file(installed / kDaemonName, error)) {
        const fs::path folder = installed.lexically_normal();
        return {folder / kDaemonName, folder / kBuildFileName, folder / kHelperName};
    }
    const fs::path tunnel = (appDirectory / ".." / "Tunnel").lexically_normal();
    return {tunnel / kDaemonName, tunnel / kBuildFileName, appDirectory / "Service" / kHelperName};
}

std::optional<std::string> BundledDaemon::build() const {
    std::error_code error;
    const auto size = fs::file_size(buildFile, error);
    if (error || size > kMaxBuildFileSize) return std::nullopt;
    std::ifstream in(buildFile, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    if (text.ends_with('\n')) text.pop_back();
    if (!isPrintableLine(text)) return std::nullopt;
    return text;
}

}  // namespace corvane::app
