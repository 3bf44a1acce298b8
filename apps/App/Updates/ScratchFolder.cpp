#include "ScratchFolder.hpp"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "UpdateError.hpp"

namespace corvane::updates {

namespace fs = std::filesystem;

namespace {

fs::path makeFolder(const fs::path& beside, std::string_view purpose) {
    std::string pattern =
        (beside.parent_path() / ("." + beside.filename().string() + "." + std::string(purpose) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw UpdateError("Could not prepare the update beside “" + beside.string() + "”: " + std::strerror(errno) +
                          ".");
    }
    return pattern;
}

}  // namespace

ScratchFolder::ScratchFolder(const fs::path& beside, std::string_view purpose)
    : path_(makeFolder(beside, purpose)) {}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

}  // namespace corvane::updates
