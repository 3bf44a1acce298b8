#pragma once

#include <optional>

#include <QWidget>

#include "PageContext.hpp"
#include "SidebarItem.hpp"

// The pages of the main window. Each page has one maker, defined in its own
// folder (Connections/ConnectionsPage.cpp, Rules/RulesPage.cpp, ...): the shell
// calls it for a new page every time the selection changes, and owns the result.
namespace corvane::app {

QWidget* makeConnectionsPage(const PageContext& context);
QWidget* makeRulesPage(const PageContext& context);
QWidget* makeProxiesPage(const PageContext& context);
QWidget* makeSimulatorPage(const PageContext& context);
QWidget* makeSettingsPage(const PageContext& context);

// The page for a selection; no selection shows Connections.
QWidget* makePage(std::optional<SidebarItem> selection, const PageContext& context);

}  // namespace corvane::app
