#pragma once

#include "DiversionConstants.hpp"

#include <string>
#include <vector>

namespace corvane::platform {

// The routing half of the diversion: packets carrying the divert mark
// look up a table of ours whose only route delivers everything locally on
// lo, where the TPROXY hook hands them to the daemon's sockets. Installed
// with the table and removed with it; after a crash the rules stay but match
// nothing, since no packet carries the mark without the table.
class PolicyRouting {
public:
    explicit PolicyRouting(DiversionConstants constants);

    // Returns the failure text of `ip`, "" on success.
    std::string install();
    void remove();

    // The `ip` argument lists, for tests.
    std::vector<std::vector<std::string>> installCommands() const;
    std::vector<std::vector<std::string>> removeCommands() const;

    // Runs `ip` with the arguments; the exit status and the error output.
    struct Result {
        int status = -1;
        std::string errorOutput;
    };
    static Result runIp(const std::vector<std::string>& arguments);

private:
    DiversionConstants constants_;
};

}  // namespace corvane::platform
