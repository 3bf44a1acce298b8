#include "BuildFile.hpp"

#include <fstream>
#include <iterator>

#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::updates::BuildFile {

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

std::optional<std::string> read(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error || size > kMaxSize) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    if (text.ends_with('\n')) text.pop_back();
    if (!isPrintableLine(text)) return std::nullopt;
    return text;
}

}  // namespace corvane::updates::BuildFile
