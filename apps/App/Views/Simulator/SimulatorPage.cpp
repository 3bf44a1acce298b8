// The Simulator page as the main window shows it.
#include "Views/Shell/Pages.hpp"
#include "Views/Shell/PlaceholderPage.hpp"

namespace corvane::app {

QWidget* makeSimulatorPage(const PageContext&) { return new PlaceholderPage(SidebarItem::simulator); }

}  // namespace corvane::app
