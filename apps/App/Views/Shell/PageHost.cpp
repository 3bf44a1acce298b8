#include "PageHost.hpp"

#include <QListWidget>
#include <QSignalBlocker>
#include <QSplitter>
#include <QVBoxLayout>

#include "IconRegistry.hpp"
#include "Pages.hpp"

namespace corvane::app {

namespace {

QString label(SidebarItem item) {
    const std::string_view text = toString(item);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

PageHost::PageHost(PageContext context, QWidget* parent)
    : QWidget(parent), context_(context), sidebar_(new QListWidget), pageArea_(new QVBoxLayout) {
    sidebar_->setObjectName("sidebar");
    sidebar_->setAccessibleName("Sidebar");
    sidebar_->setMinimumWidth(kSidebarMinimumWidth);
    sidebar_->setFrameShape(QFrame::NoFrame);
    sidebar_->setIconSize(QSize(18, 18));
    sidebar_->setStyleSheet("QListWidget::item { padding: 5px 6px; }");
    for (const SidebarItem item : kSidebarItems) {
        auto* row = new QListWidgetItem(IconRegistry::icon(symbolName(item)), label(item), sidebar_);
        row->setData(Qt::UserRole, static_cast<int>(item));
    }
    sidebar_->setCurrentRow(0);
    connect(sidebar_, &QListWidget::itemSelectionChanged, this, &PageHost::sidebarSelectionChanged);

    auto* pages = new QWidget;
    pages->setObjectName("pageArea");
    pageArea_->setContentsMargins(0, 0, 0, 0);
    pages->setLayout(pageArea_);

    auto* split = new QSplitter(Qt::Horizontal);
    split->setChildrenCollapsible(false);
    split->addWidget(sidebar_);
    split->addWidget(pages);
    split->setStretchFactor(1, 1);
    split->setSizes({kSidebarIdealWidth, 10000});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
    replacePage();
}

void PageHost::select(std::optional<SidebarItem> item) {
    if (!item) {
        sidebar_->clearSelection();
        return;
    }
    sidebar_->setCurrentRow(static_cast<int>(*item));
}

void PageHost::sidebarSelectionChanged() {
    const QList<QListWidgetItem*> chosen = sidebar_->selectedItems();
    std::optional<SidebarItem> item;
    if (!chosen.isEmpty()) item = static_cast<SidebarItem>(chosen.first()->data(Qt::UserRole).toInt());
    if (item == selection_ && page_) return;
    selection_ = item;
    replacePage();
}

void PageHost::releasePage() { delete page_; }

void PageHost::showPage() {
    if (!page_) replacePage();
}

void PageHost::replacePage() {
    delete page_;
    page_ = makePage(selection_, context_);
    pageArea_->addWidget(page_);
    emit pageChanged(page_);
}

}  // namespace corvane::app
