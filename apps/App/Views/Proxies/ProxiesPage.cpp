#include "ProxiesPage.hpp"

#include <algorithm>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "ProxyEditorDialog.hpp"
#include "ProxyRow.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/RowKeys.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Common/WidgetRowsAccessible.hpp"
#include "Views/Editors/PageHeader.hpp"
#include "Views/Shell/IconRegistry.hpp"
#include "Views/Shell/Pages.hpp"

namespace corvane::app {

ProxiesPage::ProxiesPage(AppState& state, QWidget* parent)
    : QWidget(parent),
      presenter_(state),
      list_(new QListWidget),
      content_(new QStackedWidget),
      checkAll_(new QAction(IconRegistry::icon("arrow.clockwise"), "Check All", this)),
      addProxy_(new QAction(IconRegistry::icon("plus"), "Add Proxy", this)) {
    setObjectName("ProxiesPage");
    auto* header = new PageHeader("Proxies", this);
    checkAll_->setObjectName("checkAll");
    addProxy_->setObjectName("addProxy");
    header->toolBar()->addAction(checkAll_);
    header->toolBar()->addAction(addProxy_);

    list_->setObjectName("proxies");
    list_->setAccessibleName("Proxies");
    list_->setFrameShape(QFrame::NoFrame);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    // Screen readers reach each row's Test button through its row.
    WidgetRowsAccessible::enable(*list_);
    auto* remove = new QAction("Delete", list_);
    remove->setShortcuts({QKeySequence::Delete, Qt::Key_Backspace});
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    list_->addAction(remove);
    content_->addWidget(list_);
    content_->addWidget(makeEmptyState());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(ViewStyle::divider());
    layout->addWidget(content_, 1);

    connect(checkAll_, &QAction::triggered, &presenter_, &ProxiesPresenter::checkAll);
    connect(addProxy_, &QAction::triggered, this, &ProxiesPage::addProxy);
    connect(remove, &QAction::triggered, this, [this] {
        if (const auto rows = selectedRows(); !rows.empty()) presenter_.remove(rows);
    });
    connect(list_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { editRow(list_->row(item)); });
    connect(new RowKeys(*list_), &RowKeys::openRequested, this,
            [this](const QModelIndex& index) { editRow(index.row()); });
    connect(list_, &QWidget::customContextMenuRequested, this, &ProxiesPage::showContextMenu);
    connect(list_, &QListWidget::itemSelectionChanged, this, &ProxiesPage::showSelection);
    connect(&presenter_, &ProxiesPresenter::changed, this, &ProxiesPage::refresh);
    refresh();
}

QWidget* ProxiesPage::makeEmptyState() {
    auto* view = new QWidget;
    view->setObjectName("emptyState");
    view->setBackgroundRole(QPalette::Base);
    view->setAutoFillBackground(true);
    auto* symbol = new QLabel;
    symbol->setPixmap(IconRegistry::tinted("server.rack", Tones::faint(palette())).pixmap(40, 40));
    symbol->setAlignment(Qt::AlignCenter);
    auto* text = new QLabel("No proxy servers configured");
    text->setAlignment(Qt::AlignCenter);
    ViewStyle::setColour(text, Tones::secondaryText(palette()));
    auto* layout = new QVBoxLayout(view);
    layout->setSpacing(10);
    layout->addStretch();
    layout->addWidget(symbol);
    layout->addWidget(text);
    layout->addStretch();
    return view;
}

namespace {

// The item names and describes its row for screen readers: the proxy and its health.
void describe(QListWidgetItem* item, const ProxiesPresenter::Row& row) {
    QString text = ViewStyle::text(row.name) + ", " + ViewStyle::text(row.subtitle);
    if (!row.indicator.text.empty()) text += ", " + ViewStyle::text(row.indicator.text);
    item->setData(Qt::AccessibleTextRole, text);
    item->setData(Qt::AccessibleDescriptionRole, ViewStyle::text(row.indicator.tooltip));
}

}  // namespace

ProxyRow* ProxiesPage::row(int index) const { return qobject_cast<ProxyRow*>(list_->itemWidget(list_->item(index))); }

bool ProxiesPage::isShowingEmptyState() const { return content_->currentIndex() == 1; }

void ProxiesPage::showEvent(QShowEvent* event) {
    presenter_.setShown(true);
    QWidget::showEvent(event);
}

void ProxiesPage::hideEvent(QHideEvent* event) {
    presenter_.setShown(false);
    QWidget::hideEvent(event);
}

void ProxiesPage::refresh() {
    const auto rows = presenter_.rows();
    std::vector<UUID> ids;
    for (const auto& row : rows) ids.push_back(row.id);
    // Health changes update the rows in place, so the selection and the spinners stay.
    if (ids == shownIds_) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            row(static_cast<int>(i))->setRow(rows[i]);
            describe(list_->item(static_cast<int>(i)), rows[i]);
        }
    } else {
        rebuild(rows);
        shownIds_ = std::move(ids);
    }
    content_->setCurrentIndex(rows.empty() ? 1 : 0);
    checkAll_->setEnabled(!rows.empty());
}

void ProxiesPage::rebuild(const std::vector<ProxiesPresenter::Row>& rows) {
    list_->clear();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto* item = new QListWidgetItem(list_);
        auto* widget = new ProxyRow;
        widget->setRow(rows[i]);
        describe(item, rows[i]);
        item->setSizeHint(widget->sizeHint());
        list_->setItemWidget(item, widget);
        connect(widget, &ProxyRow::testClicked, this,
                [this, index = i, id = rows[i].id] { presenter_.test(index, id); });
    }
}

void ProxiesPage::showSelection() {
    for (int index = 0; index < list_->count(); ++index) row(index)->setSelected(list_->item(index)->isSelected());
}

std::vector<std::size_t> ProxiesPage::selectedRows() const {
    std::vector<std::size_t> rows;
    for (const QListWidgetItem* item : list_->selectedItems())
        rows.push_back(static_cast<std::size_t>(list_->row(item)));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ProxiesPage::editRow(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= shownIds_.size()) return;
    const auto proxy = presenter_.proxy(static_cast<std::size_t>(row), shownIds_[static_cast<std::size_t>(row)]);
    if (!proxy) return;
    openEditor(*proxy, [this, row](const ProxyServer& edited) {
        presenter_.replace(static_cast<std::size_t>(row), edited);
    });
}

void ProxiesPage::addProxy() {
    openEditor(ProxiesPresenter::newProxy(), [this](const ProxyServer& proxy) { presenter_.append(proxy); });
}

void ProxiesPage::openEditor(const ProxyServer& proxy, std::function<void(const ProxyServer&)> onSave) {
    if (editor_) return;
    editor_ = new ProxyEditorDialog(proxy, this);
    editor_->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor_, &ProxyEditorDialog::saved, this, [onSave = std::move(onSave)](const ProxyServer& edited) {
        onSave(edited);
    });
    editor_->open();
}

void ProxiesPage::showContextMenu(const QPoint& position) {
    QListWidgetItem* item = list_->itemAt(position);
    if (!item) return;
    const int row = list_->row(item);
    QMenu menu(this);
    menu.addAction("Edit…", this, [this, row] { editRow(row); });
    menu.exec(list_->viewport()->mapToGlobal(position));
}

QWidget* makeProxiesPage(const PageContext& context) { return new ProxiesPage(context.state); }

}  // namespace corvane::app
