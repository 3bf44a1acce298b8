#include "TraceRow.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "Views/Common/CapsuleLabel.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

constexpr int kSymbolWidth = 18;
constexpr int kSymbolSize = 15;

struct ResultLook {
    std::string_view symbol;
    QColor colour;
};

ResultLook lookOf(SimulatorPresenter::Row::Result result, const QPalette& palette) {
    using Result = SimulatorPresenter::Row::Result;
    switch (result) {
        case Result::match: return {"checkmark.circle.fill", Tones::green()};
        case Result::noMatch: return {"xmark.circle", Tones::secondaryText(palette)};
        case Result::disabled: return {"minus.circle", Tones::orange()};
    }
    return {"xmark.circle", Tones::secondaryText(palette)};
}

}  // namespace

TraceRow::TraceRow(const SimulatorPresenter::Row& row, QWidget* parent) : QWidget(parent) {
    const ResultLook look = lookOf(row.result, palette());
    auto* symbol = new QLabel;
    symbol->setPixmap(IconRegistry::tinted(look.symbol, look.colour).pixmap(kSymbolSize, kSymbolSize));
    symbol->setFixedWidth(kSymbolWidth);
    symbol->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    auto* name = new QLabel(row.ruleName);
    name->setObjectName("ruleName");
    name->setTextFormat(Qt::PlainText);
    name->setFont(row.isDecisive ? Fonts::semibold(font()) : font());
    auto* nameLine = new QHBoxLayout;
    nameLine->setSpacing(6);
    nameLine->addWidget(name);
    if (row.isDecisive) nameLine->addWidget(new CapsuleLabel(row.actionLabel, look.colour));
    nameLine->addStretch();

    auto* reason = new QLabel(row.reason);
    reason->setObjectName("reason");
    reason->setTextFormat(Qt::PlainText);
    reason->setWordWrap(true);
    reason->setFont(Fonts::callout(font()));
    QPalette secondary = reason->palette();
    secondary.setColor(QPalette::WindowText, Tones::secondaryText(secondary));
    reason->setPalette(secondary);

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    text->addLayout(nameLine);
    text->addWidget(reason);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(10);
    layout->addWidget(symbol, 0, Qt::AlignTop);
    layout->addLayout(text, 1);
}

}  // namespace corvane::app
