#include "ChainEditorDialog.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "HopRowDelegate.hpp"
#include "ReorderableListView.hpp"
#include "Views/Common/RowKeys.hpp"
#include "Views/Common/SheetFooter.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

QWidget* availableRow(const ChainEditorPresenter::Available& proxy, QPushButton* add) {
    auto* row = new QWidget;
    auto* name = new QLabel(ViewStyle::text(proxy.name));
    auto* detail = ViewStyle::secondaryLabel(ViewStyle::text(proxy.detail));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(name);
    texts->addWidget(detail);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(10, 4, 10, 4);
    layout->addLayout(texts);
    layout->addStretch();
    layout->addWidget(add);
    return row;
}

}  // namespace

ChainEditorDialog::ChainEditorDialog(std::vector<ProxyServer> proxies, ProxyListPurpose purpose,
                                     std::vector<UUID> chain, QWidget* parent)
    : QDialog(parent),
      presenter_(std::move(proxies), purpose, std::move(chain)),
      model_(new QStandardItemModel(this)),
      hops_(new ReorderableListView),
      empty_(ViewStyle::secondaryLabel("No hops yet — add a proxy below.")),
      availableSection_(new QWidget),
      available_(new QVBoxLayout) {
    setObjectName("chainEditor");
    SheetFooter::fixSize(*this, QSize(kWidth, kHeight));
    hops_->setModel(model_);
    auto* delegate = new HopRowDelegate(hops_);
    hops_->setItemDelegate(delegate);
    hops_->setSelectionMode(QAbstractItemView::SingleSelection);
    hops_->setAccessibleName(ViewStyle::text(presenter_.header()));
    hops_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hops_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    empty_->setFont(font());
    auto* emptyBox = new QFrame;
    emptyBox->setFrameShape(QFrame::StyledPanel);
    emptyBox->setBackgroundRole(QPalette::Base);
    emptyBox->setAutoFillBackground(true);
    auto* emptyLayout = new QVBoxLayout(emptyBox);
    emptyLayout->setContentsMargins(10, 8, 10, 8);
    emptyLayout->addWidget(empty_);

    available_->setContentsMargins(0, 0, 0, 0);
    available_->setSpacing(0);
    auto* availableLayout = new QVBoxLayout(availableSection_);
    availableLayout->setContentsMargins(0, 8, 0, 0);
    availableLayout->setSpacing(4);
    availableLayout->addWidget(ViewStyle::sectionHeader("Available proxies"));
    auto* availableBox = new QFrame;
    availableBox->setFrameShape(QFrame::StyledPanel);
    availableBox->setBackgroundRole(QPalette::Base);
    availableBox->setAutoFillBackground(true);
    availableBox->setLayout(available_);
    availableLayout->addWidget(availableBox);

    auto* content = new QWidget;
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(16, 14, 16, 14);
    contentLayout->setSpacing(4);
    contentLayout->addWidget(ViewStyle::sectionHeader(ViewStyle::text(presenter_.header())));
    contentLayout->addWidget(emptyBox);
    contentLayout->addWidget(hops_);
    contentLayout->addWidget(ViewStyle::secondaryLabel(ViewStyle::text(presenter_.footer()), true));
    contentLayout->addWidget(availableSection_);
    contentLayout->addStretch();
    SheetFooter::layOut(*this, nullptr, ViewStyle::scrolled(content), makeFooter());

    connect(hops_, &ReorderableListView::moveRequested, this,
            [this](const std::vector<std::size_t>& offsets, std::size_t destination) {
                presenter_.move(offsets, destination);
                refresh();
            });
    // Queued: the list is rebuilt, which must not happen inside the click's or key's own handling.
    connect(delegate, &HopRowDelegate::removeClicked, this, &ChainEditorDialog::removeHop, Qt::QueuedConnection);
    connect(
        new RowKeys(*hops_), &RowKeys::removeRequested, this,
        [this](const QModelIndex& index) { removeHop(index.row()); }, Qt::QueuedConnection);
    refresh();
}

void ChainEditorDialog::removeHop(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= presenter_.chain().size()) return;
    presenter_.remove(presenter_.chain()[static_cast<std::size_t>(row)]);
    refresh();
    if (model_->rowCount() > 0) hops_->setCurrentIndex(model_->index(std::min(row, model_->rowCount() - 1), 0));
}

SheetFooter* ChainEditorDialog::makeFooter() {
    hint_ = ViewStyle::secondaryLabel(QString());
    auto* footer = new SheetFooter(*this, ViewStyle::text(presenter_.useTitle()), hint_);
    use_ = footer->action();
    use_->setObjectName("use");
    connect(use_, &QPushButton::clicked, this, [this] {
        if (!presenter_.canUse()) return;
        emit used(presenter_.chain());
        accept();
    });
    return footer;
}

QList<QPushButton*> ChainEditorDialog::addButtons() const {
    QList<QPushButton*> buttons;
    for (QPushButton* button : availableSection_->findChildren<QPushButton*>())
        if (button->parentWidget()->isVisibleTo(availableSection_)) buttons << button;
    return buttons;
}

void ChainEditorDialog::refresh() {
    model_->clear();
    for (const auto& hop : presenter_.hops()) {
        auto* item = new QStandardItem(ViewStyle::text(hop.name));
        item->setData(ViewStyle::text(hop.number), HopRowDelegate::NumberRole);
        item->setData(ViewStyle::text(hop.role), HopRowDelegate::RoleTextRole);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
        model_->appendRow(item);
    }
    const int rows = model_->rowCount();
    const int rowHeight = rows ? hops_->sizeHintForRow(0) : 0;
    hops_->setFixedHeight(rows * rowHeight + 2 * hops_->frameWidth());
    hops_->setVisible(rows > 0);
    empty_->parentWidget()->setVisible(rows == 0);
    const auto hint = presenter_.hint();
    hint_->setText(hint ? ViewStyle::text(*hint) : QString());
    hint_->setVisible(hint.has_value());
    use_->setEnabled(presenter_.canUse());
    refreshAvailable();
}

void ChainEditorDialog::refreshAvailable() {
    // The rows go later: the click that changed the list may come from one of them.
    while (QLayoutItem* item = available_->takeAt(0)) {
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    const auto proxies = presenter_.available();
    for (const auto& proxy : proxies) {
        auto* add = new QPushButton(IconRegistry::icon("plus.circle"), QString());
        add->setFlat(true);
        add->setAutoDefault(false);
        add->setIconSize(QSize(16, 16));
        add->setToolTip("Add");
        add->setAccessibleName("Add " + ViewStyle::text(proxy.name));
        connect(add, &QPushButton::clicked, this, [this, id = proxy.id] {
            presenter_.add(id);
            refresh();
        });
        available_->addWidget(availableRow(proxy, add));
    }
    availableSection_->setVisible(!proxies.empty());
    // New rows would come last in the tab order, after the sheet's buttons.
    QWidget* previous = hops_;
    for (QPushButton* add : addButtons()) {
        setTabOrder(previous, add);
        previous = add;
    }
}

}  // namespace corvane::app
