#include "Pages.hpp"

namespace corvane::app {

QWidget* makePage(std::optional<SidebarItem> selection, const PageContext& context) {
    switch (selection.value_or(SidebarItem::connections)) {
    case SidebarItem::connections: return makeConnectionsPage(context);
    case SidebarItem::rules: return makeRulesPage(context);
    case SidebarItem::proxies: return makeProxiesPage(context);
    case SidebarItem::simulator: return makeSimulatorPage(context);
    case SidebarItem::settings: return makeSettingsPage(context);
    }
    return makeConnectionsPage(context);
}

}  // namespace corvane::app
