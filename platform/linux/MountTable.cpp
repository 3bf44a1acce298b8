#include "MountTable.hpp"

#include "ProcessFiles.hpp"

namespace corvane::platform {

namespace {

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const auto end = std::min(line.find(' ', pos), line.size());
        if (end > pos) out.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

// The kernel writes a space, tab, line feed and backslash in a path as \ooo.
std::string unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto isOctal = [&](std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '7'; };
        if (text[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            out.push_back(static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// What follows `prefix` in `path` when the prefix is whole components of it
// ("" for the path itself); nothing otherwise.
std::optional<std::string_view> below(std::string_view path, std::string_view prefix) {
    if (prefix == "/") return path.starts_with('/') ? std::optional(path) : std::nullopt;
    if (!path.starts_with(prefix)) return std::nullopt;
    const auto rest = path.substr(prefix.size());
    if (!rest.empty() && rest.front() != '/') return std::nullopt;
    return rest;
}

std::string joined(std::string_view folder, std::string_view rest) {
    if (folder == "/") return rest.empty() ? std::string("/") : std::string(rest);
    return std::string(folder) + std::string(rest);
}

}  // namespace

std::optional<MountTable> MountTable::ofProcess(int pid) {
    const auto text = procfs::readSmallFile(procfs::processDirectory(pid) + "/mountinfo", kSizeLimit);
    if (!text) return std::nullopt;
    return parse(*text);
}

// "ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - TYPE SOURCE ..."
MountTable MountTable::parse(std::string_view mountinfo) {
    MountTable table;
    std::size_t pos = 0;
    while (pos < mountinfo.size()) {
        const auto end = std::min(mountinfo.find('\n', pos), mountinfo.size());
        const auto parts = fields(mountinfo.substr(pos, end - pos));
        pos = end + 1;
        if (parts.size() < 5) continue;
        Mount mount{std::string(parts[2]), unescaped(parts[3]), unescaped(parts[4])};
        // A bind mount of a file or folder deleted since shows nothing that has a place.
        if (!mount.root.starts_with('/') || !mount.mountPoint.starts_with('/') || mount.root.ends_with("//deleted"))
            continue;
        table.mounts_.push_back(std::move(mount));
    }
    return table;
}

std::optional<MountTable::Place> MountTable::placeOf(std::string_view path) const {
    const Mount* holder = nullptr;
    std::string_view rest;
    for (const Mount& mount : mounts_) {
        const auto inside = below(path, mount.mountPoint);
        if (inside && (!holder || mount.mountPoint.size() >= holder->mountPoint.size())) {
            holder = &mount;
            rest = *inside;
        }
    }
    if (!holder) return std::nullopt;
    return Place{holder->device, joined(holder->root, rest)};
}

std::vector<std::string> MountTable::pathsOf(const Place& place) const {
    std::vector<std::string> paths;
    for (auto mount = mounts_.rbegin(); mount != mounts_.rend() && paths.size() < kViewLimit; ++mount) {
        if (mount->device != place.device) continue;
        if (const auto inside = below(place.path, mount->root)) paths.push_back(joined(mount->mountPoint, *inside));
    }
    return paths;
}

}  // namespace corvane::platform
