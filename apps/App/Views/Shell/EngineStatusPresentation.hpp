#pragma once

#include <string>
#include <string_view>

#include "Model/EngineStatus.hpp"

// How the engine's status shows in the toolbar's badge and button and in the
// tray menu. Plain values, so they are tested without a display.
namespace corvane::app::EngineStatusPresentation {

enum class DotColour { secondary, yellow, green, red };

// The start/stop control: its label and symbol.
struct Toggle {
    std::string_view label;
    std::string_view symbol;

    friend bool operator==(const Toggle&, const Toggle&) = default;
};

inline constexpr std::string_view kToggleHelp = "Start or stop traffic interception";

// "Stopped", "Starting…", "Running", or "Error: " and the message.
std::string text(const EngineStatus& status);
DotColour dotColour(const EngineStatus& status);
// "Stop" with "stop.fill" while running; "Start" with "play.fill" otherwise,
// also while starting and after an error (pressing it starts again).
Toggle toggle(const EngineStatus& status);
// The tray menu's first line: "Engine: " and the status text.
std::string trayLine(const EngineStatus& status);

}  // namespace corvane::app::EngineStatusPresentation
