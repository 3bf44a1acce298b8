#include "IconRegistry.hpp"

#include <array>

#include <QFile>

#include "BundledIconEngine.hpp"

namespace corvane::app::IconRegistry {

namespace {

struct Entry {
    std::string_view symbol;
    // The freedesktop name, empty when none fits.
    std::string_view themeName;
};

// Every entry has a drawing ":/icons/<symbol>.svg".
constexpr std::array kEntries{
    // The Connections, Simulator and Settings pages and their sheets.
    Entry{"rectangle.3.group", ""},
    Entry{"chart.xyaxis.line", ""},
    Entry{"line.3.horizontal.decrease.circle", "view-filter"},
    Entry{"square.and.arrow.up", "document-export"},
    Entry{"exclamationmark.shield.fill", ""},
    Entry{"checkmark.seal", ""},
    Entry{"arrow.up.forward", ""},
    Entry{"hand.raised.fill", ""},
    Entry{"xmark.circle", ""},
    Entry{"arrow.turn.down.right", ""},
    Entry{"info.circle", ""},
    Entry{"arrow.triangle.branch", ""},
    Entry{"point.3.connected.trianglepath.dotted", "network-transmit-receive"},
    Entry{"list.bullet.rectangle", ""},
    Entry{"server.rack", "network-server"},
    Entry{"wand.and.stars", ""},
    Entry{"gearshape", "preferences-system"},
    Entry{"play.fill", "media-playback-start"},
    Entry{"stop.fill", "media-playback-stop"},
    Entry{"app.generic", "application-x-executable"},
    // The profile editors.
    Entry{"plus", "list-add"},
    Entry{"arrow.clockwise", "view-refresh"},
    Entry{"square.grid.2x2", ""},
    Entry{"app.badge.checkmark", ""},
    Entry{"link", "insert-link"},
    Entry{"arrow.triangle.2.circlepath", ""},
    Entry{"exclamationmark.triangle.fill", ""},
    Entry{"xmark.circle.fill", ""},
    Entry{"minus.circle", "list-remove"},
    Entry{"plus.circle", "list-add"},
    Entry{"magnifyingglass", "system-search"},
    Entry{"questionmark.folder", ""},
    Entry{"checkmark.circle.fill", ""},
    Entry{"circle", ""},
    Entry{"gearshape.2", ""},
    // The service presets' own symbols.
    Entry{"at", ""},
    Entry{"bolt", ""},
    Entry{"briefcase", ""},
    Entry{"bubble.left.and.bubble.right", ""},
    Entry{"bubble.left.and.text.bubble.right", ""},
    Entry{"camera", ""},
    Entry{"chevron.left.forwardslash.chevron.right", ""},
    Entry{"chevron.left.slash.chevron.right", ""},
    Entry{"diamond", ""},
    Entry{"envelope", ""},
    Entry{"film", ""},
    Entry{"gamecontroller", ""},
    Entry{"lock.message", ""},
    Entry{"music.note", ""},
    Entry{"music.note.list", ""},
    Entry{"note.text", ""},
    Entry{"number.square", ""},
    Entry{"paperplane", ""},
    Entry{"pencil.and.outline", ""},
    Entry{"person.2", ""},
    Entry{"phone.bubble", ""},
    Entry{"play.rectangle", ""},
    Entry{"shippingbox", ""},
    Entry{"sparkles", ""},
    Entry{"tv", ""},
    Entry{"video", ""},
    Entry{"water.waves", ""},
    Entry{"wind", ""},
};
constexpr std::string_view kGeneric = "app.generic";
// The drawing of the app's icon; its colours are its own.
constexpr std::string_view kAppIcon = "org.corvane.Corvane";

const Entry* find(std::string_view symbol) {
    for (const auto& entry : kEntries) {
        if (entry.symbol == symbol) return &entry;
    }
    return nullptr;
}

QIcon bundled(std::string_view symbol, std::optional<QColor> colour) {
    QFile file(":/icons/" + QString::fromUtf8(symbol.data(), static_cast<qsizetype>(symbol.size())) + ".svg");
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QIcon(new BundledIconEngine(file.readAll(), std::move(colour)));
}

}  // namespace

QIcon icon(std::string_view symbol) {
    const Entry* entry = find(symbol);
    if (!entry) entry = find(kGeneric);
    if (const auto name = themeName(entry->symbol); name && QIcon::hasThemeIcon(*name)) return QIcon::fromTheme(*name);
    return bundled(entry->symbol, std::nullopt);
}

QIcon appIcon() { return bundled(kAppIcon, std::nullopt); }

QIcon tinted(std::string_view symbol, const QColor& colour) {
    return bundled(isBundled(symbol) ? symbol : kGeneric, colour);
}

std::optional<QString> themeName(std::string_view symbol) {
    const Entry* entry = find(symbol);
    if (!entry || entry->themeName.empty()) return std::nullopt;
    return QString::fromLatin1(entry->themeName.data(), static_cast<qsizetype>(entry->themeName.size()));
}

bool isBundled(std::string_view symbol) { return find(symbol) != nullptr; }

std::vector<std::string_view> symbols() {
    std::vector<std::string_view> all;
    for (const auto& entry : kEntries) all.push_back(entry.symbol);
    return all;
}

}  // namespace corvane::app::IconRegistry
