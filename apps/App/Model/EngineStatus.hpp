#pragma once

#include <string>

namespace corvane::app {

// The state of the tunnel as the app shows it; `message` only with error.
struct EngineStatus {
    enum class Kind { stopped, starting, running, error };

    Kind kind = Kind::stopped;
    std::string message;

    static EngineStatus stopped() { return {Kind::stopped, {}}; }
    static EngineStatus starting() { return {Kind::starting, {}}; }
    static EngineStatus running() { return {Kind::running, {}}; }
    static EngineStatus error(std::string message) { return {Kind::error, std::move(message)}; }

    friend bool operator==(const EngineStatus&, const EngineStatus&) = default;
};

}  // namespace corvane::app
