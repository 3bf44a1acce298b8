#pragma once

#include <filesystem>
#include <string_view>

namespace corvane::updates {

// A new empty folder ".<name>.<purpose>-XXXXXX" beside a folder (so on the
// same file system), removed with everything in it when this goes away.
class ScratchFolder {
public:
    // Throws UpdateError when the folder cannot be made.
    ScratchFolder(const std::filesystem::path& beside, std::string_view purpose);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace corvane::updates
