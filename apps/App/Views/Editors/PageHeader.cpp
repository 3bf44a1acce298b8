#include "PageHeader.hpp"

#include <QHBoxLayout>
#include <QLabel>

#include "Views/Common/PageToolBar.hpp"

namespace corvane::app {

PageHeader::PageHeader(const QString& title, QWidget* parent) : QWidget(parent), toolBar_(new PageToolBar(this)) {
    auto* label = new QLabel(title, this);
    label->setObjectName("pageTitle");
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar_->setIconSize(QSize(16, 16));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 8, 8, 4);
    layout->addWidget(label);
    layout->addStretch();
    layout->addWidget(toolBar_);
}

}  // namespace corvane::app
