#include "ConnectionsPage.hpp"

#include <array>

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "Presenters/Connections/ConnectionTexts.hpp"
#include "Views/Common/ContentPlaceholder.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/PageToolBar.hpp"
#include "Views/Common/RowKeys.hpp"
#include "Views/Common/SystemDesktopServices.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Connections/ColumnShares.hpp"
#include "Views/Connections/ConnectionDetailSheet.hpp"
#include "Views/Connections/ConnectionGroupDelegate.hpp"
#include "Views/Connections/ConnectionTableDelegate.hpp"
#include "Views/Connections/ThroughputChart.hpp"
#include "Views/Shell/IconRegistry.hpp"
#include "Views/Shell/Pages.hpp"

namespace corvane::app {

namespace {

constexpr int kNarrowColumn = 70;
constexpr int kStatusColumn = 80;
// How the other columns share what the fixed ones leave, by weight (see
// shareWidths): the target most, the application and the action less, the
// rule least. None gets narrower than kNarrowestShare; below that the table
// scrolls sideways.
constexpr std::array<std::pair<ConnectionTableModel::Column, int>, 4> kShares{{
    {ConnectionTableModel::application, 25},
    {ConnectionTableModel::target, 42},
    {ConnectionTableModel::rule, 14},
    {ConnectionTableModel::action, 19},
}};
constexpr int kNarrowestShare = 40;
constexpr int kSearchWidth = 240;
constexpr int kSearchMinimumWidth = 140;

// "No connections match the current filter." centred over a view's rows.
QLabel* overlayOn(QAbstractItemView* view) {
    auto* label = new QLabel("No connections match the current filter.");
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Tones::secondaryText(palette));
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QGridLayout(view->viewport());
    layout->addWidget(label, 0, 0, Qt::AlignCenter);
    label->hide();
    return label;
}

QAction* toggle(QToolBar* bar, std::string_view symbol, const QString& text, const QString& help) {
    QAction* action = bar->addAction(IconRegistry::icon(symbol), text);
    action->setCheckable(true);
    action->setToolTip(help);
    return action;
}

}  // namespace

ConnectionsPage::ConnectionsPage(AppState& state, QSettings& settings, DesktopServices& desktop, QWidget* parent)
    : QWidget(parent), presenter_(state, settings, desktop), desktop_(desktop) {
    setObjectName("ConnectionsPage");
    chart_ = new ThroughputChart;
    chartArea_ = new QWidget;
    auto* chartLayout = new QVBoxLayout(chartArea_);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    chartLayout->setSpacing(0);
    chartLayout->addWidget(chart_);
    chartLayout->addWidget(ViewStyle::divider());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(ViewStyle::divider());
    layout->addWidget(chartArea_);
    layout->addWidget(makeContent(), 1);

    connect(&presenter_, &ConnectionsPresenter::changed, this, &ConnectionsPage::refresh);
    refresh();
}

QWidget* ConnectionsPage::makeHeader() {
    auto* title = new QLabel("Connections");
    title->setFont(Fonts::title(font()));

    // The toggles show their symbols only, so the bar fits the narrowest window.
    auto* bar = new PageToolBar;
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setIconSize(QSize(16, 16));
    groupAction_ = toggle(bar, "rectangle.3.group", "Group by app", "Collapse each app's connections into one row");
    chartAction_ = toggle(bar, "chart.xyaxis.line", "Traffic graph", "Show live throughput");
    connect(groupAction_, &QAction::toggled, &presenter_, &ConnectionsPresenter::setGrouped);
    connect(chartAction_, &QAction::toggled, &presenter_, &ConnectionsPresenter::setShowsChart);

    auto* menu = new QMenu(this);
    allStatuses_ = menu->addAction("All statuses", this, [this] { presenter_.setStatusFilter(std::nullopt); });
    menu->addSeparator();
    for (const ConnectionStatus status : allConnectionStatuses) {
        QAction* action = menu->addAction(ConnectionTexts::statusTitle(status), this,
                                          [this, status] { presenter_.setStatusFilter(status); });
        action->setCheckable(true);
        statusActions_.emplace_back(status, action);
    }
    filter_ = new QToolButton;
    filter_->setObjectName("statusFilter");
    filter_->setIcon(IconRegistry::icon("line.3.horizontal.decrease.circle"));
    filter_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    filter_->setPopupMode(QToolButton::InstantPopup);
    filter_->setToolTip("Filter by status");
    filter_->setMenu(menu);
    bar->addWidget(filter_);

    exportAction_ = bar->addAction(IconRegistry::icon("square.and.arrow.up"), "Export CSV");
    exportAction_->setToolTip("Export the visible connections to CSV");
    if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(exportAction_))) {
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    connect(exportAction_, &QAction::triggered, &presenter_, &ConnectionsPresenter::exportCSV);

    search_ = new QLineEdit;
    search_->setObjectName("search");
    search_->setAccessibleName("Filter");
    search_->setPlaceholderText("Filter by app, host, rule…");
    search_->setClearButtonEnabled(true);
    search_->setMinimumWidth(kSearchMinimumWidth);
    search_->setMaximumWidth(kSearchWidth);
    connect(search_, &QLineEdit::textChanged, &presenter_, &ConnectionsPresenter::setSearchText);

    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(12, 6, 12, 6);
    row->addWidget(title);
    row->addStretch();
    row->addWidget(bar);
    row->addWidget(search_, 1);
    return header;
}

QWidget* ConnectionsPage::makeContent() {
    emptyState_ = new ContentPlaceholder("point.3.connected.trianglepath.dotted", "No intercepted connections yet");

    table_ = new QTableView;
    table_->setObjectName("connectionTable");
    table_->setAccessibleName("Connections");
    table_->setModel(&tableModel_);
    table_->setItemDelegate(new ConnectionTableDelegate(table_));
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->setFrameShape(QFrame::NoFrame);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 8);
    QHeaderView* columns = table_->horizontalHeader();
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setSectionResizeMode(QHeaderView::Fixed);
    columns->setHighlightSections(false);
    for (const int column : {ConnectionTableModel::time, ConnectionTableModel::sent, ConnectionTableModel::received}) {
        columns->resizeSection(column, kNarrowColumn);
    }
    columns->resizeSection(ConnectionTableModel::status, kStatusColumn);
    table_->viewport()->installEventFilter(this);
    connect(table_, &QTableView::doubleClicked, this, &ConnectionsPage::showDetails);
    connect(new RowKeys(*table_), &RowKeys::openRequested, this, &ConnectionsPage::showDetails);
    connect(table_, &QTableView::customContextMenuRequested, this,
            [this](const QPoint& position) { showContextMenu(*table_, position); });
    tableOverlay_ = overlayOn(table_);

    groupList_ = new QTreeView;
    groupList_->setObjectName("groupList");
    groupList_->setAccessibleName("Connections by app");
    groupList_->setModel(&groupModel_);
    groupList_->setItemDelegate(new ConnectionGroupDelegate(groupModel_, groupList_));
    groupList_->setHeaderHidden(true);
    groupList_->setSelectionMode(QAbstractItemView::SingleSelection);
    groupList_->setUniformRowHeights(false);
    groupList_->setExpandsOnDoubleClick(true);
    groupList_->setFrameShape(QFrame::NoFrame);
    groupList_->setMouseTracking(true);
    groupList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(groupList_, &QTreeView::doubleClicked, this, &ConnectionsPage::showDetails);
    // Return does what a double click does: a group opens or closes, a record shows its details.
    connect(new RowKeys(*groupList_), &RowKeys::openRequested, this, [this](const QModelIndex& index) {
        if (groupModel_.group(index)) return groupList_->setExpanded(index, !groupList_->isExpanded(index));
        showDetails(index);
    });
    connect(groupList_, &QTreeView::customContextMenuRequested, this,
            [this](const QPoint& position) { showContextMenu(*groupList_, position); });
    listOverlay_ = overlayOn(groupList_);

    content_ = new QStackedWidget;
    content_->addWidget(emptyState_);
    content_->addWidget(table_);
    content_->addWidget(groupList_);
    return content_;
}

void ConnectionsPage::refresh() {
    using Content = ConnectionsPresenter::Content;
    const Content content = presenter_.content();
    emptyState_->setHint(presenter_.emptyStateHint());
    if (content == Content::table) {
        tableModel_.setRecords(presenter_.filteredRecords());
        shareColumns();
    }
    if (content == Content::groups) groupModel_.setGroups(presenter_.groups());
    content_->setCurrentIndex(static_cast<int>(content));
    const bool noMatch = presenter_.showsNoMatchOverlay();
    tableOverlay_->setVisible(noMatch);
    listOverlay_->setVisible(noMatch);

    chartArea_->setVisible(presenter_.showsChartArea());
    if (presenter_.showsChartArea()) chart_->setSamples(presenter_.throughput());

    const QSignalBlocker groupBlocker(groupAction_);
    const QSignalBlocker chartBlocker(chartAction_);
    groupAction_->setChecked(presenter_.isGrouped());
    chartAction_->setChecked(presenter_.showsChart());
    filter_->setText(presenter_.filterTitle());
    for (const auto& [status, action] : statusActions_) action->setChecked(presenter_.statusFilter() == status);
    exportAction_->setEnabled(presenter_.canExport());
}

ConnectionDetailSheet* ConnectionsPage::detailSheet() const { return detailSheet_; }

bool ConnectionsPage::showsNoMatchOverlay() const { return !tableOverlay_->isHidden(); }

const ConnectionRecord* ConnectionsPage::recordAt(const QModelIndex& index) const {
    if (index.model() != &tableModel_) return groupModel_.record(index);
    return index.isValid() ? &tableModel_.record(index.row()) : nullptr;
}

void ConnectionsPage::showDetails(const QModelIndex& index) {
    if (const ConnectionRecord* record = recordAt(index)) openDetails(*record);
}

void ConnectionsPage::shareColumns() {
    QHeaderView& columns = *table_->horizontalHeader();
    int left = table_->viewport()->width();
    for (const int fixed : {ConnectionTableModel::time, ConnectionTableModel::sent, ConnectionTableModel::received,
                            ConnectionTableModel::status}) {
        left -= columns.sectionSize(fixed);
    }
    std::vector<int> needs;
    std::vector<int> weights;
    for (const auto& [column, weight] : kShares) {
        needs.push_back(neededWidth(column));
        weights.push_back(weight);
    }
    const std::vector<int> widths = shareWidths(needs, weights, left, kNarrowestShare);
    for (std::size_t at = 0; at < kShares.size(); ++at) columns.resizeSection(kShares[at].first, widths[at]);
}

int ConnectionsPage::neededWidth(int column) const {
    // A cell's text keeps the style's focus margin and a pixel on either side
    // of it, and the view shortens a text that leaves less than one pixel more
    // on each side; a header's title keeps the header's margin.
    const QFontMetrics metrics(table_->font());
    const int cellMargin = 2 * (table_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table_) + 2);
    const int headerMargin = 2 * table_->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, table_);
    int widest = metrics.horizontalAdvance(tableModel_.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()) +
                 headerMargin;
    for (int row = 0; row < tableModel_.rowCount(); ++row) {
        widest = std::max(widest, metrics.horizontalAdvance(tableModel_.index(row, column).data().toString()) + cellMargin);
    }
    return widest;
}

bool ConnectionsPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_->viewport() && event->type() == QEvent::Resize) shareColumns();
    return QWidget::eventFilter(watched, event);
}

void ConnectionsPage::openDetails(const ConnectionRecord& record) {
    if (detailSheet_) detailSheet_->close();
    detailSheet_ = new ConnectionDetailSheet(record, desktop_, this);
    detailSheet_->setAttribute(Qt::WA_DeleteOnClose);
    detailSheet_->open();
}

void ConnectionsPage::showContextMenu(QAbstractItemView& view, const QPoint& position) {
    const ConnectionRecord* record = recordAt(view.indexAt(position));
    if (!record) return;
    auto* menu = new QMenu(this);
    menu->setObjectName("recordMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction("Show Details…", this, [this, shown = *record] { openDetails(shown); });
    menu->popup(view.viewport()->mapToGlobal(position));
}

void ConnectionsPage::showEvent(QShowEvent* event) {
    presenter_.setPolling(true);
    QWidget::showEvent(event);
}

void ConnectionsPage::hideEvent(QHideEvent* event) {
    presenter_.setPolling(false);
    QWidget::hideEvent(event);
}

QWidget* makeConnectionsPage(const PageContext& context) {
    auto* settings = new QSettings;
    auto* desktop = new SystemDesktopServices;
    auto* page = new ConnectionsPage(context.state, *settings, *desktop);
    settings->setParent(page);
    desktop->setParent(page);
    return page;
}

}  // namespace corvane::app
