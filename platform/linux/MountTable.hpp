#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform {

// The mounts of one process's view of the file systems (/proc/PID/mountinfo,
// which the kernel writes), and the translation of a path between views: a
// path of one process names a file at some place of some file system, and
// that place shows up at other paths, or none, in another process's view.
class MountTable {
public:
    struct Mount {
        std::string device;      // "major:minor" of the file system
        std::string root;        // the folder of that file system shown here
        std::string mountPoint;  // where it is shown, from the process's root
    };
    // Where a path lies: a file system and the path inside it.
    struct Place {
        std::string device;
        std::string path;
        bool operator==(const Place&) const = default;
    };

    // Even a container host's table stays well below this.
    static constexpr std::size_t kSizeLimit = 4 << 20;
    // Paths offered for one place; the caller checks each.
    static constexpr std::size_t kViewLimit = 16;

    // The table of a running process; nothing when it cannot be read.
    static std::optional<MountTable> ofProcess(int pid);
    static MountTable parse(std::string_view mountinfo);

    // The place `path` of this view names: on the mount shown deepest along
    // the path, the last of those mounted there; nothing when none holds it.
    std::optional<Place> placeOf(std::string_view path) const;
    // The paths of this view that show `place`.
    std::vector<std::string> pathsOf(const Place& place) const;

    const std::vector<Mount>& mounts() const { return mounts_; }

private:
    std::vector<Mount> mounts_;
};

}  // namespace corvane::platform
