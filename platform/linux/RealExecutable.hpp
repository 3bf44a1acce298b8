#pragma once

#include "PackageIndex.hpp"

#include <optional>
#include <string>

namespace corvane::platform {

// The file a process executes, as the daemon sees it. The kernel says which
// file that is (the device and inode of /proc/PID/exe); the path it reports
// is the one of the process's own view, which a process in a mount namespace
// of its own (a bind mount, a container, a Flatpak sandbox) arranges as it
// likes. So that path counts only when the daemon finds that same file
// there; otherwise the process's mount table tells where the file lies, and
// the daemon looks for it at that place in its own view.
//   valid   the file is at the path the process reports, and nobody but root
//           can have put it there (OwnershipWalk); or it is a file of a
//           system-wide Flatpak installation, under the same condition;
//   path    where the daemon finds the file; in its own mount namespace the
//           reported one (a replaced or deleted file keeps its last path);
//           none when the file is found nowhere in the daemon's view.
// Reads files a process controls (through its mounts): run it off the event
// loops.
struct RealExecutable {
    std::optional<std::string> path;
    std::string signingIdentifier;  // SigningIdentifier::of the path
    bool valid = false;
    bool platformBinary = false;    // valid and a file of an installed package

    bool operator==(const RealExecutable&) const = default;

    // Nothing known (all empty) when the process is gone or unreadable.
    static RealExecutable of(int pid, PackageIndex& packages);
};

}  // namespace corvane::platform
