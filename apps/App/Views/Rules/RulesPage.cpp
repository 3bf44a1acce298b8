// The Rules page as the main window shows it.
#include "Views/Shell/Pages.hpp"
#include "Views/Shell/PlaceholderPage.hpp"

namespace corvane::app {

QWidget* makeRulesPage(const PageContext&) { return new PlaceholderPage(SidebarItem::rules); }

}  // namespace corvane::app
