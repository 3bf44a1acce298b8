#include "PresetPickerDialog.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "PickerRowDelegate.hpp"
#include "PickerSearchBar.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

QListWidgetItem* headerItem(const QString& title) {
    auto* item = new QListWidgetItem(title);
    item->setData(PickerRowDelegate::HeaderRole, true);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

}  // namespace

PresetPickerDialog::PresetPickerDialog(QWidget* parent)
    : QDialog(parent),
      search_(new PickerSearchBar("Search services, domains or bundle IDs", true)),
      results_(new QStackedWidget),
      list_(new QListWidget) {
    setObjectName("presetPicker");
    setFixedSize(kWidth, kHeight);
    list_->setItemDelegate(new PickerRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setMouseTracking(true);
    results_->addWidget(list_);
    results_->addWidget(makeEmptyView());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(search_);
    layout->addWidget(ViewStyle::divider());
    layout->addWidget(results_, 1);
    layout->addWidget(ViewStyle::divider());
    layout->addWidget(makeFooter());

    connect(search_, &PickerSearchBar::queryChanged, this, [this](const QString& query) {
        presenter_.setQuery(query.toStdString());
        refresh();
    });
    connect(list_, &QListWidget::itemClicked, this, &PresetPickerDialog::toggle);
    refresh();
}

QWidget* PresetPickerDialog::makeEmptyView() {
    auto* view = new QWidget;
    auto* symbol = new QLabel;
    symbol->setPixmap(IconRegistry::tinted("questionmark.folder", Tones::tertiaryText(palette())).pixmap(32, 32));
    symbol->setAlignment(Qt::AlignCenter);
    nothingMatches_ = new QLabel;
    nothingMatches_->setObjectName("nothingMatches");
    nothingMatches_->setAlignment(Qt::AlignCenter);
    ViewStyle::setColour(nothingMatches_, Tones::secondaryText(palette()));
    auto* hint = new QLabel("You can still type the patterns yourself.");
    hint->setFont(Fonts::callout(hint->font()));
    hint->setAlignment(Qt::AlignCenter);
    ViewStyle::setColour(hint, Tones::tertiaryText(palette()));
    auto* layout = new QVBoxLayout(view);
    layout->setSpacing(8);
    layout->addStretch();
    layout->addWidget(symbol);
    layout->addWidget(nothingMatches_);
    layout->addWidget(hint);
    layout->addStretch();
    return view;
}

QWidget* PresetPickerDialog::makeFooter() {
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

void PresetPickerDialog::refresh() {
    list_->clear();
    const auto sections = presenter_.sections();
    for (const auto& section : sections) {
        list_->addItem(headerItem(ViewStyle::text(section.title)));
        for (const ServicePreset& preset : section.presets) {
            auto* item = new QListWidgetItem(IconRegistry::tinted(preset.symbolName, Tones::secondaryText(palette())),
                                             ViewStyle::text(preset.name));
            item->setData(PickerRowDelegate::IdRole, ViewStyle::text(preset.id));
            item->setData(PickerRowDelegate::SubtitleRole, ViewStyle::text(PresetPickerPresenter::summary(preset)));
            item->setData(PickerRowDelegate::CheckedRole, presenter_.isSelected(preset.id));
            list_->addItem(item);
        }
    }
    nothingMatches_->setText(ViewStyle::text(presenter_.nothingMatchesText()));
    results_->setCurrentIndex(sections.empty() ? 1 : 0);
    refreshSelection();
}

void PresetPickerDialog::refreshSelection() {
    count_->setText(ViewStyle::text(presenter_.selectionText()));
    add_->setEnabled(presenter_.canAdd());
}

void PresetPickerDialog::toggle(QListWidgetItem* item) {
    const QVariant id = item->data(PickerRowDelegate::IdRole);
    if (!id.isValid()) return;
    presenter_.toggle(id.toString().toStdString());
    item->setData(PickerRowDelegate::CheckedRole, presenter_.isSelected(id.toString().toStdString()));
    refreshSelection();
}

}  // namespace corvane::app
