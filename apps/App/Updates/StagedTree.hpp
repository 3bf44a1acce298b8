#pragma once

#include <filesystem>

// The last look at an unpacked release before it replaces the installed one:
// every file, folder and link in it belongs to this process's user (root, for
// the helper), nothing but its owner may write to any of it, nothing carries a
// setuid, setgid or sticky bit, there is nothing but files, folders and links,
// and every link leads to something inside the tree.
namespace corvane::updates::StagedTree {

// Throws UpdateError naming the first entry that fails.
void check(const std::filesystem::path& folder);

}  // namespace corvane::updates::StagedTree
