#include "PickerDialog.hpp"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "PickerRowDelegate.hpp"
#include "PickerSearchBar.hpp"
#include "Views/Common/RowKeys.hpp"
#include "Views/Common/SheetFooter.hpp"
#include "Views/Common/ViewStyle.hpp"

namespace corvane::app {

PickerDialog::PickerDialog(const QString& searchPlaceholder, bool clearButton, QWidget* parent)
    : QDialog(parent),
      search_(new PickerSearchBar(searchPlaceholder, clearButton)),
      list_(new QListWidget),
      count_(ViewStyle::secondaryLabel(QString())),
      footer_(new SheetFooter(*this, "Add to Rule", count_)) {
    SheetFooter::fixSize(*this, QSize(kWidth, kHeight));
    list_->setItemDelegate(new PickerRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setMouseTracking(true);
    list_->setAccessibleName("Results");
    count_->setObjectName("selectionCount");
    footer_->action()->setObjectName("addToRule");

    connect(search_, &PickerSearchBar::queryChanged, this, [this](const QString& query) {
        setQuery(query.toStdString());
        refresh();
    });
    connect(list_, &QListWidget::itemClicked, this, &PickerDialog::toggleItem);
    connect(new RowKeys(*list_), &RowKeys::toggleRequested, this,
            [this](const QModelIndex& index) { toggleItem(list_->item(index.row())); });
    connect(footer_->action(), &QPushButton::clicked, this, [this] {
        if (!canAdd()) return;
        emitChosen();
        accept();
    });
}

QPushButton* PickerDialog::addButton() const { return footer_->action(); }

void PickerDialog::layOut(QWidget* content) { SheetFooter::layOut(*this, search_, content, footer_); }

QListWidgetItem* PickerDialog::headerItem(const QString& title) {
    auto* item = new QListWidgetItem(title);
    item->setData(PickerRowDelegate::HeaderRole, true);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

QListWidgetItem* PickerDialog::row(const QIcon& icon, const QString& name, const std::string& id,
                                   const QString& subtitle) const {
    auto* item = new QListWidgetItem(icon, name);
    item->setData(PickerRowDelegate::IdRole, ViewStyle::text(id));
    item->setData(PickerRowDelegate::SubtitleRole, subtitle);
    item->setData(PickerRowDelegate::CheckedRole, isSelected(id));
    return item;
}

void PickerDialog::refreshSelection() {
    count_->setText(ViewStyle::text(selectionText()));
    addButton()->setEnabled(canAdd());
}

void PickerDialog::toggleItem(QListWidgetItem* item) {
    const QVariant id = item->data(PickerRowDelegate::IdRole);
    if (!id.isValid()) return;
    const std::string identifier = id.toString().toStdString();
    toggle(identifier);
    item->setData(PickerRowDelegate::CheckedRole, isSelected(identifier));
    refreshSelection();
}

}  // namespace corvane::app
