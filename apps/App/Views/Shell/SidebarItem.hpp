#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace corvane::app {

// The pages of the main window, in sidebar order.
enum class SidebarItem { connections, rules, proxies, simulator, settings };

inline constexpr std::array kSidebarItems{SidebarItem::connections, SidebarItem::rules, SidebarItem::proxies,
                                          SidebarItem::simulator, SidebarItem::settings};

// The item's label: "Connections", "Rules", "Proxies", "Simulator", "Settings".
std::string_view toString(SidebarItem item);
std::optional<SidebarItem> sidebarItemFromString(std::string_view text);
// The item's symbol name for the icon registry.
std::string_view symbolName(SidebarItem item);

}  // namespace corvane::app
