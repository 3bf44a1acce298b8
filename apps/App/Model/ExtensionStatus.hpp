#pragma once

#include <string>

namespace corvane::app {

// The installation state of the daemon service; `message` only with failed.
// accessDenied: the service runs, but its socket refuses this account.
struct ExtensionStatus {
    enum class Kind { unknown, activationRequested, needsUserApproval, installed, accessDenied, failed };

    Kind kind = Kind::unknown;
    std::string message;

    static ExtensionStatus unknown() { return {Kind::unknown, {}}; }
    static ExtensionStatus activationRequested() { return {Kind::activationRequested, {}}; }
    static ExtensionStatus needsUserApproval() { return {Kind::needsUserApproval, {}}; }
    static ExtensionStatus installed() { return {Kind::installed, {}}; }
    static ExtensionStatus accessDenied() { return {Kind::accessDenied, {}}; }
    static ExtensionStatus failed(std::string message) { return {Kind::failed, std::move(message)}; }

    friend bool operator==(const ExtensionStatus&, const ExtensionStatus&) = default;
};

}  // namespace corvane::app
