#include "AppPickerDialog.hpp"

#include <QFileInfo>
#include <QListWidget>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "PickerRowDelegate.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Editors/Spinner.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

// An installed app's icon: its entry's Icon= as a theme name or a file;
// without one, and for an app known only from the records, the placeholder.
QIcon appIcon(const InstalledApp& app) {
    if (!app.path.empty() && !app.icon.empty()) {
        const QString icon = ViewStyle::text(app.icon);
        if (QFileInfo(icon).isAbsolute()) {
            if (QFileInfo::exists(icon)) return QIcon(icon);
        } else if (QIcon::hasThemeIcon(icon)) {
            return QIcon::fromTheme(icon);
        }
    }
    return IconRegistry::tinted("gearshape.2", Tones::secondaryText(QPalette()));
}

}  // namespace

AppPickerDialog::AppPickerDialog(std::set<std::string> seenIdentifiers, InstalledAppsScanner::Sources sources,
                                 QWidget* parent)
    : PresenterPicker("Search applications", false, parent), content_(new QStackedWidget) {
    setObjectName("appPicker");
    auto* loading = new QWidget;
    auto* spinner = new Spinner(20);
    spinner->setObjectName("loading");
    auto* loadingLayout = new QVBoxLayout(loading);
    loadingLayout->addStretch();
    loadingLayout->addWidget(spinner, 0, Qt::AlignCenter);
    loadingLayout->addStretch();
    content_->addWidget(loading);
    content_->addWidget(list());
    layOut(content_);

    connect(&presenter_, &AppPickerPresenter::loaded, this, &AppPickerDialog::refresh);
    presenter_.load(std::move(sources), std::move(seenIdentifiers));
    refresh();
}

bool AppPickerDialog::isShowingSpinner() const { return content_->currentIndex() == 0; }

QListWidgetItem* AppPickerDialog::appItem(const InstalledApp& app) const {
    auto* item = row(appIcon(app), ViewStyle::text(app.name), app.id, ViewStyle::text(app.id));
    item->setData(PickerRowDelegate::ElideRole, static_cast<int>(Qt::ElideMiddle));
    return item;
}

void AppPickerDialog::refresh() {
    content_->setCurrentIndex(presenter_.isLoading() ? 0 : 1);
    list()->clear();
    if (!presenter_.isLoading()) {
        const auto seen = presenter_.seenMatches();
        if (!seen.empty()) list()->addItem(headerItem("Seen making connections"));
        for (const InstalledApp& app : seen) list()->addItem(appItem(app));
        list()->addItem(headerItem("Installed"));
        for (const InstalledApp& app : presenter_.installedMatches()) list()->addItem(appItem(app));
    }
    refreshSelection();
}

}  // namespace corvane::app
