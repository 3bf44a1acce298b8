#include "AcknowledgementsSheet.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "Views/Common/Fonts.hpp"
#include "Views/Common/SheetFooter.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"

namespace corvane::app {

namespace {

constexpr int kListMinimumWidth = 200;
constexpr int kListIdealWidth = 220;
constexpr int kLicenceMinimumWidth = 380;

// A list row: the name over the purpose.
QWidget* entryRow(const Acknowledgement& entry) {
    auto* row = new QWidget;
    auto* layout = new QVBoxLayout(row);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(2);
    layout->addWidget(new QLabel(entry.name));
    layout->addWidget(ViewStyle::secondaryLabel(entry.purpose, true));
    return row;
}

}  // namespace

AcknowledgementsSheet::AcknowledgementsSheet(DesktopServices& desktop, QWidget* parent,
                                             const std::vector<Acknowledgement>& entries)
    : QDialog(parent), presenter_(entries), desktop_(desktop), list_(new QListWidget), link_(new QLabel),
      licence_(new QPlainTextEdit) {
    setObjectName("acknowledgementsSheet");
    setWindowTitle("Open Source Licences");
    SheetFooter::fixSize(*this, QSize(kWidth, kHeight));

    list_->setMinimumWidth(kListMinimumWidth);
    list_->setAccessibleName("Components");
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setSpacing(2);
    for (const Acknowledgement& entry : presenter_.entries()) {
        auto* item = new QListWidgetItem(list_);
        item->setData(Qt::UserRole, entry.id);
        item->setData(Qt::AccessibleTextRole, entry.name);
        QWidget* row = entryRow(entry);
        item->setSizeHint(QSize(kListIdealWidth, row->heightForWidth(kListIdealWidth - 2 * list_->frameWidth())));
        list_->setItemWidget(item, row);
    }
    list_->setCurrentRow(0);
    connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item) presenter_.select(item->data(Qt::UserRole).toUuid());
        showSelected();
    });

    link_->setFont(Fonts::callout(font()));
    link_->setTextFormat(Qt::RichText);
    link_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(link_, &QLabel::linkActivated, this, [this](const QString& url) { desktop_.openUrl(QUrl(url)); });
    licence_->setReadOnly(true);
    licence_->setAccessibleName("Licence");
    licence_->setFont(Fonts::monospacedCallout(font()));
    licence_->setFrameShape(QFrame::NoFrame);
    licence_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    licence_->document()->setDocumentMargin(14);

    auto* pane = new QWidget;
    pane->setMinimumWidth(kLicenceMinimumWidth);
    auto* paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(14, 8, 14, 8);
    header->addWidget(link_);
    header->addStretch();
    paneLayout->addLayout(header);
    paneLayout->addWidget(ViewStyle::divider());
    paneLayout->addWidget(licence_, 1);

    auto* split = new QSplitter(Qt::Horizontal);
    split->setChildrenCollapsible(false);
    split->addWidget(list_);
    split->addWidget(pane);
    split->setStretchFactor(1, 1);
    split->setSizes({kListIdealWidth, kWidth - kListIdealWidth});

    auto* done = new QPushButton("Done");
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(12, 10, 12, 12);
    bottom->addWidget(ViewStyle::secondaryLabel("Corvane itself is not open source."));
    bottom->addStretch();
    bottom->addWidget(done);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(split, 1);
    layout->addWidget(ViewStyle::divider());
    layout->addLayout(bottom);
    showSelected();
}

void AcknowledgementsSheet::showSelected() {
    const Acknowledgement* entry = presenter_.selected();
    link_->setVisible(entry && AcknowledgementsPresenter::hasLink(*entry));
    if (entry) {
        link_->setText("<a href=\"" + entry->url.toHtmlEscaped() + "\">" + entry->url.toHtmlEscaped() + "</a>");
        licence_->setPlainText(entry->licenceText());
    }
    licence_->parentWidget()->setVisible(entry != nullptr);
}

}  // namespace corvane::app
