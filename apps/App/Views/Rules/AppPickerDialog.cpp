#include "AppPickerDialog.hpp"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "PickerRowDelegate.hpp"
#include "PickerSearchBar.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Editors/Spinner.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

QListWidgetItem* headerItem(const QString& title) {
    auto* item = new QListWidgetItem(title);
    item->setData(PickerRowDelegate::HeaderRole, true);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

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
    : QDialog(parent),
      search_(new PickerSearchBar("Search applications", false)),
      content_(new QStackedWidget),
      list_(new QListWidget) {
    setObjectName("appPicker");
    setFixedSize(kWidth, kHeight);
    list_->setItemDelegate(new PickerRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setMouseTracking(true);
    auto* loading = new QWidget;
    auto* spinner = new Spinner(20);
    spinner->setObjectName("loading");
    auto* loadingLayout = new QVBoxLayout(loading);
    loadingLayout->addStretch();
    loadingLayout->addWidget(spinner, 0, Qt::AlignCenter);
    loadingLayout->addStretch();
    content_->addWidget(loading);
    content_->addWidget(list_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(search_);
    layout->addWidget(ViewStyle::divider());
    layout->addWidget(content_, 1);
    layout->addWidget(ViewStyle::divider());
    layout->addWidget(makeFooter());

    connect(search_, &PickerSearchBar::queryChanged, this, [this](const QString& query) {
        presenter_.setQuery(query.toStdString());
        refresh();
    });
    connect(list_, &QListWidget::itemClicked, this, &AppPickerDialog::toggle);
    connect(&presenter_, &AppPickerPresenter::loaded, this, &AppPickerDialog::refresh);
    presenter_.load(std::move(sources), std::move(seenIdentifiers));
    refresh();
}

bool AppPickerDialog::isShowingSpinner() const { return content_->currentIndex() == 0; }

QWidget* AppPickerDialog::makeFooter() {
    count_ = ViewStyle::secondaryLabel(QString());
    count_->setObjectName("selectionCount");
    auto* cancel = new QPushButton("Cancel");
    cancel->setAutoDefault(false);
    add_ = new QPushButton("Add to Rule");
    add_->setObjectName("addToRule");
    add_->setDefault(true);
    auto* footer = new QWidget;
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->addWidget(count_);
    layout->addStretch();
    layout->addWidget(cancel);
    layout->addWidget(add_);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(add_, &QPushButton::clicked, this, [this] {
        if (!presenter_.canAdd()) return;
        emit chosen(presenter_.chosen());
        accept();
    });
    return footer;
}

QListWidgetItem* AppPickerDialog::appItem(const InstalledApp& app) const {
    auto* item = new QListWidgetItem(appIcon(app), ViewStyle::text(app.name));
    item->setData(PickerRowDelegate::IdRole, ViewStyle::text(app.id));
    item->setData(PickerRowDelegate::SubtitleRole, ViewStyle::text(app.id));
    item->setData(PickerRowDelegate::ElideRole, static_cast<int>(Qt::ElideMiddle));
    item->setData(PickerRowDelegate::CheckedRole, presenter_.isSelected(app.id));
    return item;
}

void AppPickerDialog::refresh() {
    content_->setCurrentIndex(presenter_.isLoading() ? 0 : 1);
    list_->clear();
    if (!presenter_.isLoading()) {
        const auto seen = presenter_.seenMatches();
        if (!seen.empty()) list_->addItem(headerItem("Seen making connections"));
        for (const InstalledApp& app : seen) list_->addItem(appItem(app));
        list_->addItem(headerItem("Installed"));
        for (const InstalledApp& app : presenter_.installedMatches()) list_->addItem(appItem(app));
    }
    refreshSelection();
}

void AppPickerDialog::refreshSelection() {
    count_->setText(ViewStyle::text(presenter_.selectionText()));
    add_->setEnabled(presenter_.canAdd());
}

void AppPickerDialog::toggle(QListWidgetItem* item) {
    const QVariant id = item->data(PickerRowDelegate::IdRole);
    if (!id.isValid()) return;
    presenter_.toggle(id.toString().toStdString());
    item->setData(PickerRowDelegate::CheckedRole, presenter_.isSelected(id.toString().toStdString()));
    refreshSelection();
}

}  // namespace corvane::app
