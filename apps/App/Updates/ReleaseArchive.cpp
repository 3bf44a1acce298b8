#include "ReleaseArchive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <zlib.h>

#include "UpdateError.hpp"
#include "platform/FileDescriptor.hpp"

namespace corvane::updates::ReleaseArchive {

namespace fs = std::filesystem;
using platform::FileDescriptor;

namespace {

constexpr std::size_t kBlock = 512;
// Long names and pax headers larger than this are refused.
constexpr std::uint64_t kMaxMetaSize = 64 * 1024;

[[noreturn]] void damaged(const std::string& why) { throw UpdateError("Could not unpack the update: " + why + "."); }
[[noreturn]] void refuse(const std::string& name, const std::string& why) {
    throw UpdateError("The update was refused: its entry “" + name + "” " + why + ".");
}
[[noreturn]] void failed(const std::string& name) {
    throw UpdateError("Could not unpack “" + name + "” of the update: " + std::strerror(errno) + ".");
}

struct GzClose {
    void operator()(gzFile_s* file) const { gzclose(file); }
};

// The archive's decompressed bytes.
class Input {
public:
    explicit Input(const fs::path& archive) {
        const int fd = ::open(archive.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) damaged(std::string("it cannot be read (") + std::strerror(errno) + ")");
        file_.reset(gzdopen(fd, "rb"));
        if (!file_) {
            ::close(fd);
            damaged("it cannot be read");
        }
    }
    // Exactly `size` bytes into `into`; false at the archive's end.
    bool read(char* into, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const int n = gzread(file_.get(), into + done, static_cast<unsigned>(size - done));
            if (n < 0) damaged("it is damaged");
            if (n == 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    void require(char* into, std::size_t size) {
        if (!read(into, size)) damaged("it ends early");
    }
    // The rest of an entry's last block.
    void skipPadding(std::uint64_t size) {
        std::array<char, kBlock> pad{};
        if (const std::size_t rest = size % kBlock) require(pad.data(), kBlock - rest);
    }

private:
    std::unique_ptr<gzFile_s, GzClose> file_;
};

std::string field(const char* block, std::size_t offset, std::size_t width) {
    const char* start = block + offset;
    return std::string(start, strnlen(start, width));
}

// An octal number field (leading blanks, ended by a blank or NUL), or GNU's
// base-256 form for large values.
std::optional<std::uint64_t> number(const char* block, std::size_t offset, std::size_t width) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(block + offset);
    std::uint64_t value = 0;
    if (bytes[0] & 0x80) {
        for (std::size_t i = 1; i < width; ++i) {
            if (value >> 56) return std::nullopt;
            value = (value << 8) | bytes[i];
        }
        return (bytes[0] & 0x7F) ? std::nullopt : std::optional(value);
    }
    std::size_t i = 0;
    while (i < width && bytes[i] == ' ') ++i;
    bool any = false;
    for (; i < width && bytes[i] >= '0' && bytes[i] <= '7'; ++i, any = true) value = value * 8 + (bytes[i] - '0');
    if (i < width && bytes[i] != ' ' && bytes[i] != '\0') return std::nullopt;
    return any ? std::optional(value) : std::nullopt;
}

bool checksumMatches(const char* block) {
    const auto stored = number(block, 148, 8);
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(block[i]);
    }
    return stored && *stored == sum;
}

bool allZero(const char* block) {
    for (std::size_t i = 0; i < kBlock; ++i) {
        if (block[i] != 0) return false;
    }
    return true;
}

// The parts of a name, "./" and empty parts dropped.
std::vector<std::string> split(const std::string& name) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t slash = std::min(name.find('/', start), name.size());
        const std::string part = name.substr(start, slash - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        start = slash + 1;
    }
    return parts;
}

// The parts of an entry's name below the target folder; an empty list is the
// folder itself.
std::vector<std::string> partsOf(const std::string& name) {
    if (name.empty() || name.front() == '/') refuse(name, "does not name a place inside the update");
    std::vector<std::string> parts = split(name);
    if (std::find(parts.begin(), parts.end(), "..") != parts.end()) refuse(name, "leads out of the update");
    return parts;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& part : parts) path += (path.empty() ? "" : "/") + part;
    return path;
}

// The pax records "LENGTH key=value\n" that this reader uses.
// A pax size stands for the next entry's; kNoSize when none was given.
constexpr std::uint64_t kNoSize = UINT64_MAX;

void readPax(const std::string& data, std::string& path, std::string& linkPath, std::uint64_t& size) {
    std::size_t at = 0;
    while (at < data.size()) {
        const std::size_t space = data.find(' ', at);
        if (space == std::string::npos) damaged("a pax header is damaged");
        const std::size_t length = std::strtoull(data.c_str() + at, nullptr, 10);
        if (length <= space - at || at + length > data.size() || data[at + length - 1] != '\n') {
            damaged("a pax header is damaged");
        }
        const std::string record = data.substr(space + 1, at + length - 1 - (space + 1));
        const std::size_t equals = record.find('=');
        if (equals != std::string::npos) {
            const std::string key = record.substr(0, equals);
            const std::string value = record.substr(equals + 1);
            if (key == "path") path = value;
            if (key == "linkpath") linkPath = value;
            if (key == "size") size = std::min<std::uint64_t>(std::strtoull(value.c_str(), nullptr, 10), kNoSize - 1);
        }
        at += length;
    }
}

class Extractor {
public:
    explicit Extractor(const fs::path& into)
        : root_(::open(into.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {
        if (root_.get() < 0) failed(into.string());
    }

    void run(Input& input) {
        std::array<char, kBlock> block{};
        std::string longName;
        std::string longLink;
        std::uint64_t paxSize = kNoSize;
        for (;;) {
            input.require(block.data(), kBlock);
            if (allZero(block.data())) return;
            if (!checksumMatches(block.data())) damaged("it is not a tar archive");
            const char type = block[156];
            const std::optional<std::uint64_t> stored = number(block.data(), 124, 12);
            if (!stored && paxSize == kNoSize) damaged("an entry's size is damaged");
            const std::uint64_t size = paxSize != kNoSize ? paxSize : stored.value_or(0);
            paxSize = kNoSize;
            if (type == 'L' || type == 'K' || type == 'x' || type == 'g') {
                const std::string data = meta(input, size);
                if (type == 'L') longName = data.c_str();
                if (type == 'K') longLink = data.c_str();
                if (type == 'x') readPax(data, longName, longLink, paxSize);
                continue;
            }
            const std::string name = !longName.empty() ? std::exchange(longName, {}) : nameOf(block.data());
            const std::string link = !longLink.empty() ? std::exchange(longLink, {}) : field(block.data(), 157, 100);
            if (++entries_ > kMaxEntries) refuse(name, "is one too many");
            entry(input, type, name, link, size, number(block.data(), 100, 8).value_or(0));
        }
    }

private:
    static std::string nameOf(const char* block) {
        const std::string name = field(block, 0, 100);
        // POSIX ustar keeps the start of a long name in its prefix field.
        const std::string prefix = std::memcmp(block + 257, "ustar\0", 6) == 0 ? field(block, 345, 155) : "";
        return prefix.empty() ? name : prefix + "/" + name;
    }

    static std::string meta(Input& input, std::uint64_t size) {
        if (size > kMaxMetaSize) damaged("a header is too large");
        std::string data(size, '\0');
        input.require(data.data(), data.size());
        input.skipPadding(size);
        return data;
    }

    void entry(Input& input, char type, const std::string& name, const std::string& link, std::uint64_t size,
               std::uint64_t mode) {
        const std::vector<std::string> parts = partsOf(name);
        const bool isFile = type == '0' || type == '\0' || type == '7';
        if (!isFile && type != '5' && type != '2' && type != '1') refuse(name, "is not a file, a folder or a link");
        if (!isFile && size != 0 && type != '5') refuse(name, "is a link with content");
        if (parts.empty()) {
            if (type != '5') refuse(name, "does not name a place inside the update");
            return input.skipPadding(0);
        }
        const std::string path = joined(parts);
        if (type != '5' && !seen_.insert(path).second) refuse(name, "comes twice");
        const auto parent = parentOf(parts, name);
        const std::string& leaf = parts.back();
        if (isFile) return file(input, parent->get(), leaf, path, size, (mode & 0111) ? 0755 : 0644);
        if (type == '5') return folder(parent->get(), leaf, name);
        if (link.empty()) refuse(name, "is a link to nothing");
        if (type == '2') {
            if (link.front() == '/') refuse(name, "links to a place outside the update");
            if (::symlinkat(link.c_str(), parent->get(), leaf.c_str()) != 0) failed(name);
            return;
        }
        const std::string target = joined(split(link));
        if (link.front() == '/' || !files_.contains(target)) refuse(name, "is a hard link to something that is not a file of the update");
        if (::linkat(root_.get(), target.c_str(), parent->get(), leaf.c_str(), 0) != 0) failed(name);
    }

    // The folder that holds the entry, made where missing; a folder on the way
    // that is a link (or no folder) is refused.
    std::unique_ptr<FileDescriptor> parentOf(const std::vector<std::string>& parts, const std::string& name) const {
        auto current = std::make_unique<FileDescriptor>(::dup(root_.get()));
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            const bool made = ::mkdirat(current->get(), parts[i].c_str(), 0755) == 0;
            if (!made && errno != EEXIST) failed(name);
            auto next = std::make_unique<FileDescriptor>(
                ::openat(current->get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (next->get() < 0) {
                if (errno == ELOOP || errno == ENOTDIR) refuse(name, "passes through a link or a file");
                failed(name);
            }
            if (made && ::fchmod(next->get(), 0755) != 0) failed(name);
            current = std::move(next);
        }
        return current;
    }

    void folder(int parent, const std::string& leaf, const std::string& name) const {
        if (::mkdirat(parent, leaf.c_str(), 0755) != 0 && errno != EEXIST) failed(name);
        struct stat info {};
        if (::fstatat(parent, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) failed(name);
        if (!S_ISDIR(info.st_mode)) refuse(name, "comes twice");
        if (::fchmodat(parent, leaf.c_str(), 0755, 0) != 0) failed(name);
    }

    void file(Input& input, int parent, const std::string& leaf, const std::string& path, std::uint64_t size,
              mode_t mode) {
        total_ += size;
        if (total_ > kMaxUnpackedSize) refuse(path, "makes the update too large");
        const FileDescriptor out(
            ::openat(parent, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (out.get() < 0) {
            if (errno == EEXIST) refuse(path, "comes twice");
            failed(path);
        }
        std::array<char, 64 * 1024> buffer{};
        for (std::uint64_t left = size; left > 0;) {
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
            input.require(buffer.data(), chunk);
            for (std::size_t done = 0; done < chunk;) {
                const ssize_t n = ::write(out.get(), buffer.data() + done, chunk - done);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) failed(path);
                done += static_cast<std::size_t>(n);
            }
            left -= chunk;
        }
        input.skipPadding(size);
        if (::fchmod(out.get(), mode) != 0) failed(path);
        files_.insert(path);
    }

    FileDescriptor root_;
    std::set<std::string> files_;
    std::set<std::string> seen_;
    std::uintmax_t total_ = 0;
    std::size_t entries_ = 0;
};

}  // namespace

void unpack(const fs::path& archive, const fs::path& into) {
    Input input(archive);
    Extractor(into).run(input);
}

}  // namespace corvane::updates::ReleaseArchive
