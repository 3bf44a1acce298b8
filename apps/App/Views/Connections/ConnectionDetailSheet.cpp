#include "ConnectionDetailSheet.hpp"

#include <algorithm>

#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "Views/Common/Fonts.hpp"
#include "Views/Common/SheetFooter.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Connections/StatusLabel.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

constexpr int kIconSize = 14;

std::string_view identitySymbol(ConnectionDetail::IdentityIcon icon) {
    switch (icon) {
        case ConnectionDetail::IdentityIcon::warningShield: return "exclamationmark.shield.fill";
        case ConnectionDetail::IdentityIcon::package: return "shippingbox";
        case ConnectionDetail::IdentityIcon::seal: return "checkmark.seal";
    }
    return "checkmark.seal";
}

QLabel* textLabel(const QString& text, bool selectable) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    label->setTextFormat(Qt::PlainText);
    if (selectable) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

ConnectionDetailSheet::ConnectionDetailSheet(ConnectionRecord record, DesktopServices& desktop, QWidget* parent)
    : QDialog(parent), detail_(std::move(record)), desktop_(desktop) {
    setObjectName("connectionDetailSheet");
    setWindowTitle(QString::fromStdString(detail_.record().appIdentifier));
    SheetFooter::fixSize(*this, QSize(kSize, kSize));

    auto* form = new QWidget;
    auto* sections = new QVBoxLayout(form);
    const std::vector<ConnectionDetail::Section> parts = detail_.sections();
    for (const ConnectionDetail::Section& part : parts) {
        for (const ConnectionDetail::Row& row : part.rows) {
            labelWidth_ = std::max(labelWidth_, fontMetrics().horizontalAdvance(row.label));
        }
    }
    for (const ConnectionDetail::Section& part : parts) sections->addWidget(section(part));
    sections->addStretch();
    auto* scroll = new QScrollArea;
    scroll->setWidget(form);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setAccessibleName("Details");

    auto* copy = new QPushButton("Copy Details");
    copy->setAutoDefault(false);
    auto* done = new QPushButton("Done");
    done->setDefault(true);
    connect(copy, &QPushButton::clicked, this, [this] { desktop_.setClipboardText(detail_.plainText()); });
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(12, 10, 12, 12);
    buttons->addWidget(copy);
    buttons->addStretch();
    buttons->addWidget(done);

    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroll, 1);
    layout->addWidget(divider);
    layout->addLayout(buttons);
}

QWidget* ConnectionDetailSheet::section(const ConnectionDetail::Section& section) {
    auto* box = new QGroupBox(section.title);
    auto* rows = new QFormLayout(box);
    rows->setLabelAlignment(Qt::AlignLeft);
    rows->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    for (const ConnectionDetail::Row& row : section.rows) {
        auto* label = new QLabel(row.label);
        label->setMinimumWidth(labelWidth_);
        rows->addRow(label, value(row));
    }
    return box;
}

QWidget* ConnectionDetailSheet::value(const ConnectionDetail::Row& row) {
    using Kind = ConnectionDetail::Row::Kind;
    const ConnectionRecord& record = detail_.record();
    switch (row.kind) {
        case Kind::status: return new StatusLabel(record.status);
        case Kind::secondaryText: {
            QLabel* label = textLabel(row.value, true);
            label->setFont(Fonts::callout(font()));
            ViewStyle::setColour(label, Tones::secondaryText(palette()));
            return label;
        }
        case Kind::identity: {
            const CodeIdentity& identity = *record.appIdentity;
            const QColor colour = identity.isValid ? palette().color(QPalette::WindowText)
                                                 : Tones::readable(Tones::red(), palette());
            auto* icon = new QLabel;
            icon->setPixmap(IconRegistry::tinted(identitySymbol(ConnectionDetail::identityIcon(identity)), colour)
                                .pixmap(kIconSize, kIconSize));
            QLabel* text = textLabel(row.value, false);
            text->setFont(Fonts::callout(font()));
            ViewStyle::setColour(text, colour);
            auto* label = new QWidget;
            label->setObjectName("identityLabel");
            label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            auto* layout = new QHBoxLayout(label);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->addWidget(icon);
            layout->addWidget(text, 1);
            return label;
        }
        case Kind::selectable: return textLabel(row.value, true);
        case Kind::text: break;
    }
    return textLabel(row.value, false);
}

}  // namespace corvane::app
