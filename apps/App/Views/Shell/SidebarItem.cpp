#include "SidebarItem.hpp"

namespace corvane::app {

std::string_view toString(SidebarItem item) {
    switch (item) {
    case SidebarItem::connections: return "Connections";
    case SidebarItem::rules: return "Rules";
    case SidebarItem::proxies: return "Proxies";
    case SidebarItem::simulator: return "Simulator";
    case SidebarItem::settings: return "Settings";
    }
    return {};
}

std::optional<SidebarItem> sidebarItemFromString(std::string_view text) {
    for (const SidebarItem item : kSidebarItems) {
        if (toString(item) == text) return item;
    }
    return std::nullopt;
}

std::string_view symbolName(SidebarItem item) {
    switch (item) {
    case SidebarItem::connections: return "point.3.connected.trianglepath.dotted";
    case SidebarItem::rules: return "list.bullet.rectangle";
    case SidebarItem::proxies: return "server.rack";
    case SidebarItem::simulator: return "wand.and.stars";
    case SidebarItem::settings: return "gearshape";
    }
    return {};
}

}  // namespace corvane::app
