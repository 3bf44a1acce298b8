#include "PlaceholderPage.hpp"

#include <QLabel>
#include <QVBoxLayout>

#include "IconRegistry.hpp"

namespace corvane::app {

PlaceholderPage::PlaceholderPage(SidebarItem item, QWidget* parent) : QWidget(parent) {
    const QString name = QString::fromUtf8(toString(item).data(), static_cast<qsizetype>(toString(item).size()));
    setObjectName(name + "Placeholder");
    auto* symbol = new QLabel(this);
    symbol->setPixmap(IconRegistry::icon(symbolName(item)).pixmap(40, 40, QIcon::Disabled));
    symbol->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(name, this);
    title->setAlignment(Qt::AlignCenter);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    title->setFont(font);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(symbol);
    layout->addWidget(title);
    layout->addStretch();
}

}  // namespace corvane::app
