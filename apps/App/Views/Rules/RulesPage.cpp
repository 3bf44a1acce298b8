#include "RulesPage.hpp"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QVBoxLayout>

#include "ReorderableListView.hpp"
#include "RuleEditorDialog.hpp"
#include "RuleRowDelegate.hpp"
#include "RulesListModel.hpp"
#include "Views/Common/RowKeys.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Editors/PageHeader.hpp"
#include "Views/Shell/IconRegistry.hpp"
#include "Views/Shell/Pages.hpp"

namespace corvane::app {

RulesPage::RulesPage(AppState& state, QWidget* parent)
    : QWidget(parent),
      state_(state),
      presenter_(state),
      model_(new RulesListModel(this)),
      list_(new ReorderableListView),
      add_(new QAction(IconRegistry::icon("plus"), "Add Rule", this)) {
    setObjectName("RulesPage");
    auto* header = new PageHeader("Rules", this);
    add_->setObjectName("addRule");
    header->toolBar()->addAction(add_);

    list_->setObjectName("rules");
    list_->setAccessibleName("Rules");
    list_->setModel(model_);
    auto* delegate = new RuleRowDelegate(list_);
    list_->setItemDelegate(delegate);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setFrameShape(QFrame::NoFrame);
    auto* remove = new QAction("Delete", list_);
    remove->setShortcuts({QKeySequence::Delete, Qt::Key_Backspace});
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    list_->addAction(remove);

    auto* footer = ViewStyle::secondaryLabel(RulesPresenter::kFooter, true);
    footer->setContentsMargins(14, 8, 14, 12);
    footer->setBackgroundRole(QPalette::Base);
    footer->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(ViewStyle::divider());
    layout->addWidget(list_, 1);
    layout->addWidget(footer);

    connect(add_, &QAction::triggered, this, &RulesPage::addRule);
    connect(remove, &QAction::triggered, this, [this] {
        if (const auto rows = list_->selectedRows(); !rows.empty()) presenter_.remove(rows);
    });
    connect(list_, &ReorderableListView::moveRequested, &presenter_, &RulesPresenter::move);
    connect(list_, &QListView::doubleClicked, this, [this](const QModelIndex& index) { editRow(index.row()); });
    auto* keys = new RowKeys(*list_);
    connect(keys, &RowKeys::openRequested, this, [this](const QModelIndex& index) { editRow(index.row()); });
    connect(keys, &RowKeys::toggleRequested, this, [this](const QModelIndex& index) {
        const auto& row = model_->row(index.row());
        presenter_.setEnabled(static_cast<std::size_t>(index.row()), row.id, !row.isEnabled);
    });
    connect(list_, &QWidget::customContextMenuRequested, this, &RulesPage::showContextMenu);
    // Queued: the list is rebuilt after the save, which must not happen inside the click's own handling.
    connect(
        delegate, &RuleRowDelegate::switchToggled, this,
        [this](int row, bool enabled) {
            if (row < model_->rowCount()) presenter_.setEnabled(row, model_->row(row).id, enabled);
        },
        Qt::QueuedConnection);
    connect(&presenter_, &RulesPresenter::changed, this, &RulesPage::refresh);
    refresh();
}

void RulesPage::refresh() {
    // The rows are rebuilt; the keyboard's place stays on the same row.
    const int current = list_->currentIndex().row();
    model_->setRows(presenter_.rows());
    if (current >= 0 && model_->rowCount() > 0) {
        list_->setCurrentIndex(model_->index(std::min(current, model_->rowCount() - 1)));
    }
}

void RulesPage::editRow(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    const UUID id = model_->row(row).id;
    const auto rule = presenter_.rule(static_cast<std::size_t>(row), id);
    if (!rule) return;
    openEditor(*rule, [this, row](const Rule& edited) { presenter_.replace(static_cast<std::size_t>(row), edited); });
}

void RulesPage::addRule() {
    openEditor(RulesPresenter::newRule(), [this](const Rule& rule) { presenter_.append(rule); });
}

void RulesPage::openEditor(const Rule& rule, std::function<void(const Rule&)> onSave) {
    if (editor_) return;
    editor_ = new RuleEditorDialog(state_, rule, this);
    editor_->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor_, &RuleEditorDialog::saved, this, [onSave = std::move(onSave)](const Rule& edited) {
        onSave(edited);
    });
    editor_->open();
}

void RulesPage::showContextMenu(const QPoint& position) {
    const QModelIndex index = list_->indexAt(position);
    if (!index.isValid()) return;
    const int row = index.row();
    const UUID id = model_->row(row).id;
    QMenu menu(this);
    menu.addAction("Edit…", this, [this, row] { editRow(row); });
    menu.addAction("Delete", this, [this, row, id] { presenter_.remove(static_cast<std::size_t>(row), id); });
    menu.exec(list_->viewport()->mapToGlobal(position));
}

QWidget* makeRulesPage(const PageContext& context) { return new RulesPage(context.state); }

}  // namespace corvane::app
