#pragma once

#include <filesystem>
#include <string>

class QWidget;

namespace corvane::app::testing {

// Lays out and paints `widget` offscreen and saves it as
// <build folder>/screenshots/<name>.png for a person to look at. The path.
std::filesystem::path saveScreenshot(QWidget& widget, const std::string& name);

}  // namespace corvane::app::testing
