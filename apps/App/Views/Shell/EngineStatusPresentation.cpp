#include "EngineStatusPresentation.hpp"

namespace corvane::app::EngineStatusPresentation {

std::string text(const EngineStatus& status) {
    switch (status.kind) {
    case EngineStatus::Kind::stopped: return "Stopped";
    case EngineStatus::Kind::starting: return "Starting…";
    case EngineStatus::Kind::running: return "Running";
    case EngineStatus::Kind::error: return "Error: " + status.message;
    }
    return {};
}

DotColour dotColour(const EngineStatus& status) {
    switch (status.kind) {
    case EngineStatus::Kind::stopped: return DotColour::secondary;
    case EngineStatus::Kind::starting: return DotColour::yellow;
    case EngineStatus::Kind::running: return DotColour::green;
    case EngineStatus::Kind::error: return DotColour::red;
    }
    return DotColour::secondary;
}

Toggle toggle(const EngineStatus& status) {
    if (status.kind == EngineStatus::Kind::running) return {"Stop", "stop.fill"};
    return {"Start", "play.fill"};
}

std::string trayLine(const EngineStatus& status) { return "Engine: " + text(status); }

}  // namespace corvane::app::EngineStatusPresentation
