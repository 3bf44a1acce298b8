#pragma once

#include <cstdint>
#include <filesystem>

// Unpacking a release archive (a gzip-compressed tar) with a reader of our own
// rather than tar, which as root keeps owners, setuid bits and device nodes.
// Only regular files, folders and links are taken; everything is created anew
// by this process, so it belongs to whoever unpacks: files 0644, or 0755 when
// the archive marks them executable, folders 0755. Nothing is written outside
// the target folder or through a link: a name that leaves the folder, passes
// through a link, or comes twice is refused, and so is a hard link to anything
// but a file unpacked before. Links may point anywhere inside the folder;
// StagedTree checks where they lead once all is unpacked.
namespace corvane::updates::ReleaseArchive {

// Bounds on what one archive may unpack to.
inline constexpr std::uintmax_t kMaxUnpackedSize = 2ull * 1024 * 1024 * 1024;
inline constexpr std::size_t kMaxEntries = 100000;

// Unpacks `archive` into the empty folder `into`. Throws UpdateError.
void unpack(const std::filesystem::path& archive, const std::filesystem::path& into);

}  // namespace corvane::updates::ReleaseArchive
