#include "TestArchive.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <zlib.h>

namespace corvane::app::testing {

namespace {

void octal(char* field, std::size_t width, unsigned long long value) {
    const std::string digits = [&] {
        char text[32];
        std::snprintf(text, sizeof text, "%0*llo", static_cast<int>(width - 1), value);
        return std::string(text);
    }();
    std::memcpy(field, digits.data(), std::min(digits.size(), width - 1));
}

std::array<char, 512> header(const TarEntry& entry) {
    std::array<char, 512> block{};
    std::strncpy(block.data(), entry.name.c_str(), 100);
    octal(block.data() + 100, 8, entry.mode);
    octal(block.data() + 108, 8, 0);
    octal(block.data() + 116, 8, 0);
    octal(block.data() + 124, 12, entry.content.size());
    octal(block.data() + 136, 12, 0);
    block[156] = entry.type;
    std::strncpy(block.data() + 157, entry.link.c_str(), 100);
    std::memcpy(block.data() + 257, "ustar\0" "00", 8);
    std::memset(block.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (const char c : block) sum += static_cast<unsigned char>(c);
    octal(block.data() + 148, 7, sum);
    return block;
}

}  // namespace

void writeArchive(const std::filesystem::path& archive, const std::vector<TarEntry>& entries) {
    gzFile out = gzopen(archive.c_str(), "wb");
    if (!out) throw std::runtime_error("cannot write " + archive.string());
    for (const TarEntry& entry : entries) {
        const auto block = header(entry);
        gzwrite(out, block.data(), block.size());
        gzwrite(out, entry.content.data(), static_cast<unsigned>(entry.content.size()));
        const std::array<char, 512> padding{};
        if (const std::size_t rest = entry.content.size() % 512) gzwrite(out, padding.data(), 512 - rest);
    }
    const std::array<char, 1024> end{};
    gzwrite(out, end.data(), end.size());
    gzclose(out);
}

void makeArchive(const std::filesystem::path& archive, const ReleaseFiles& files) {
    std::vector<TarEntry> entries{{"./", '5', {}, 0755, {}}};
    for (const auto& [name, content] : files) {
        entries.push_back({"./" + name, '0', content, name.starts_with("bin/") ? 0755u : 0644u, {}});
    }
    writeArchive(archive, entries);
}

ReleaseFiles releaseFiles(const std::string& app, const std::string& build) {
    return {{"corvane.release", "org.corvane.Corvane\n"},
            {"bin/corvane", app},
            {"libexec/corvane/corvane-tunnel.build", build + "\n"}};
}

}  // namespace corvane::app::testing
