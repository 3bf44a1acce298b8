#include "SimulatorPage.hpp"

#include <QButtonGroup>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "Views/Common/ContentPlaceholder.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Shell/IconRegistry.hpp"
#include "Views/Shell/Pages.hpp"
#include "Views/Simulator/TraceRow.hpp"

namespace corvane::app {

namespace {

constexpr int kBannerSymbolSize = 26;

std::string_view actionSymbol(RuleAction::Kind kind) {
    switch (kind) {
        case RuleAction::Kind::proxy: return "arrow.triangle.branch";
        case RuleAction::Kind::chain: return "link";
        case RuleAction::Kind::failover: return "arrow.triangle.2.circlepath";
        case RuleAction::Kind::direct: return "arrow.up.forward";
        case RuleAction::Kind::block: return "hand.raised.fill";
    }
    return "arrow.up.forward";
}

}  // namespace

SimulatorPage::SimulatorPage(AppState& state, QWidget* parent) : QWidget(parent), presenter_(state) {
    setObjectName("SimulatorPage");
    auto* title = new QLabel("Rule Simulator");
    title->setFont(Fonts::title(font()));
    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 10, 12, 6);
    header->addWidget(title);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(makeForm());
    layout->addWidget(ViewStyle::divider());
    layout->addWidget(makeResult(), 1);
    connect(&presenter_, &SimulatorPresenter::traceChanged, this, &SimulatorPage::showTrace);
    // Laid out with its trace before it first shows; showing simulates again.
    presenter_.simulate();
}

QWidget* SimulatorPage::makeForm() {
    application_ = new QLineEdit(presenter_.application());
    application_->setPlaceholderText("firefox or /usr/bin/curl — empty for any");
    host_ = new QLineEdit(presenter_.host());
    host_->setPlaceholderText(SimulatorPresenter::kHostPrompt);
    port_ = new QLineEdit(presenter_.portText());
    port_->setPlaceholderText("443");
    connect(application_, &QLineEdit::textChanged, &presenter_, &SimulatorPresenter::setApplication);
    connect(host_, &QLineEdit::textChanged, &presenter_, &SimulatorPresenter::setHost);
    connect(port_, &QLineEdit::textChanged, &presenter_, &SimulatorPresenter::setPortText);

    transport_ = new QButtonGroup(this);
    auto* segments = new QHBoxLayout;
    segments->setSpacing(0);
    QList<QToolButton*> buttons;
    for (const TransportProtocol protocol : {TransportProtocol::tcp, TransportProtocol::udp}) {
        auto* button = new QToolButton;
        button->setText(QString::fromUtf8(toString(protocol)).toUpper());
        button->setCheckable(true);
        button->setChecked(protocol == presenter_.transport());
        button->setMinimumWidth(56);
        transport_->addButton(button, static_cast<int>(protocol));
        segments->addWidget(button);
        buttons << button;
    }
    ViewStyle::segmented(buttons);
    segments->addStretch();
    connect(transport_, &QButtonGroup::idClicked, this,
            [this](int id) { presenter_.setTransport(static_cast<TransportProtocol>(id)); });

    auto* box = new QGroupBox("Hypothetical connection");
    auto* fields = new QFormLayout(box);
    fields->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    fields->addRow("Application", application_);
    fields->addRow("Host or IP", host_);
    fields->addRow("Port", port_);
    fields->addRow("Transport", segments);
    auto* form = new QWidget;
    auto* margins = new QVBoxLayout(form);
    margins->setContentsMargins(12, 4, 12, 12);
    margins->addWidget(box);
    return form;
}

QWidget* SimulatorPage::makeResult() {
    placeholder_ = new ContentPlaceholder("wand.and.stars", "Enter a valid port to simulate");

    banner_ = new QWidget;
    banner_->setObjectName("verdictBanner");
    banner_->setAutoFillBackground(true);
    bannerSymbol_ = new QLabel;
    bannerLabel_ = new QLabel;
    bannerLabel_->setFont(Fonts::headline(font()));
    bannerLabel_->setTextFormat(Qt::PlainText);
    bannerSubtitle_ = ViewStyle::secondaryLabel({}, true);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(bannerLabel_);
    texts->addWidget(bannerSubtitle_);
    auto* bannerLayout = new QHBoxLayout(banner_);
    bannerLayout->setSpacing(12);
    bannerLayout->setContentsMargins(16, 12, 16, 12);
    bannerLayout->addWidget(bannerSymbol_);
    bannerLayout->addLayout(texts, 1);

    traceList_ = new QWidget;
    traceList_->setObjectName("traceList");
    traceRows_ = new QVBoxLayout(traceList_);
    traceRows_->setContentsMargins(16, 10, 16, 10);
    traceRows_->setSpacing(6);
    auto* scroll = new QScrollArea;
    scroll->setWidget(traceList_);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setAccessibleName("Evaluation trace");

    auto* trace = new QWidget;
    auto* layout = new QVBoxLayout(trace);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(banner_);
    layout->addWidget(scroll, 1);

    result_ = new QStackedWidget;
    result_->addWidget(placeholder_);
    result_->addWidget(trace);
    return result_;
}

void SimulatorPage::showTrace() {
    std::optional<SimulatorPresenter::Result> result = presenter_.result();
    result_->setCurrentIndex(result ? 1 : 0);
    if (result == shown_) return;
    shown_ = std::move(result);
    while (QLayoutItem* item = traceRows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (!shown_) return;

    const QColor colour = Tones::action(shown_->banner.kind);
    QPalette background = banner_->palette();
    const QColor tint = Tones::over(Tones::faded(colour, 0.1), palette().color(QPalette::Window));
    background.setColor(QPalette::Window, tint);
    banner_->setPalette(background);
    ViewStyle::setColour(bannerSubtitle_, Tones::readable(Tones::secondaryText(palette()), {tint}));
    bannerSymbol_->setPixmap(
        IconRegistry::tinted(actionSymbol(shown_->banner.kind), colour).pixmap(kBannerSymbolSize, kBannerSymbolSize));
    bannerLabel_->setText(shown_->banner.label);
    bannerSubtitle_->setText(shown_->banner.subtitle);

    auto* heading = new QLabel("Evaluation trace");
    heading->setFont(Fonts::semibold(Fonts::callout(font())));
    ViewStyle::setColour(heading, Tones::secondaryText(palette()));
    traceRows_->addWidget(heading);
    for (const SimulatorPresenter::Row& row : shown_->rows) traceRows_->addWidget(new TraceRow(row));
    if (shown_->defaultRow) traceRows_->addWidget(defaultRow(*shown_->defaultRow));
    traceRows_->addStretch();
}

QWidget* SimulatorPage::defaultRow(const QString& text) const {
    auto* row = new QWidget;
    row->setObjectName("defaultRow");
    auto* symbol = new QLabel;
    symbol->setPixmap(IconRegistry::tinted("arrow.turn.down.right", Tones::secondaryText(palette())).pixmap(15, 15));
    symbol->setFixedWidth(18);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 2, 0, 2);
    line->setSpacing(10);
    line->addWidget(symbol, 0, Qt::AlignTop);
    line->addWidget(ViewStyle::secondaryLabel(text, true), 1);
    return row;
}

QString SimulatorPage::verdictText() const {
    if (!shown_) return {};
    return bannerLabel_->text() + "\n" + bannerSubtitle_->text();
}

void SimulatorPage::showEvent(QShowEvent* event) {
    presenter_.simulate();
    QWidget::showEvent(event);
}

QWidget* makeSimulatorPage(const PageContext& context) { return new SimulatorPage(context.state); }

}  // namespace corvane::app
