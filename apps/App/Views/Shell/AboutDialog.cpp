#include "AboutDialog.hpp"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "IconRegistry.hpp"
#include "Shared/AppIdentifiers.hpp"
#include "Shared/VersionText.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/ViewStyle.hpp"

namespace corvane::app {

namespace {

QLabel* centred(const QString& text) {
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("aboutDialog");
    setWindowTitle("About Corvane");
    auto* symbol = centred({});
    symbol->setPixmap(IconRegistry::appIcon().pixmap(64, 64));
    auto* name = centred(ViewStyle::text(AppIdentifiers::productName));
    QFont large = name->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    large.setBold(true);
    name->setFont(large);
    auto* version = centred("Version " + QString::fromStdString(versionText()));
    version->setObjectName("versionLabel");
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* purpose = centred("Routes the network traffic of this machine per application.");
    purpose->setFont(Fonts::callout(purpose->font()));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 16);
    layout->setSpacing(8);
    layout->addWidget(symbol);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(purpose);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}

}  // namespace corvane::app
