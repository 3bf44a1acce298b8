#include "PresetPickerDialog.hpp"

#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

PresetPickerDialog::PresetPickerDialog(QWidget* parent)
    : PresenterPicker("Search services, domains or app IDs", true, parent), results_(new QStackedWidget) {
    setObjectName("presetPicker");
    results_->addWidget(list());
    results_->addWidget(makeEmptyView());
    layOut(results_);
    refresh();
}

QWidget* PresetPickerDialog::makeEmptyView() {
    auto* view = new QWidget;
    auto* symbol = new QLabel;
    symbol->setPixmap(IconRegistry::tinted("questionmark.folder", Tones::faint(palette())).pixmap(32, 32));
    symbol->setAlignment(Qt::AlignCenter);
    nothingMatches_ = new QLabel;
    nothingMatches_->setObjectName("nothingMatches");
    nothingMatches_->setAlignment(Qt::AlignCenter);
    ViewStyle::setColour(nothingMatches_, Tones::secondaryText(palette()));
    auto* hint = new QLabel("You can still type the patterns yourself.");
    hint->setFont(Fonts::callout(hint->font()));
    hint->setAlignment(Qt::AlignCenter);
    ViewStyle::setColour(hint, Tones::tertiaryText(palette()));
    auto* layout = new QVBoxLayout(view);
    layout->setSpacing(8);
    layout->addStretch();
    layout->addWidget(symbol);
    layout->addWidget(nothingMatches_);
    layout->addWidget(hint);
    layout->addStretch();
    return view;
}

void PresetPickerDialog::refresh() {
    list()->clear();
    const auto sections = presenter_.sections();
    for (const auto& section : sections) {
        list()->addItem(headerItem(ViewStyle::text(section.title)));
        for (const ServicePreset& preset : section.presets) {
            list()->addItem(row(IconRegistry::tinted(preset.symbolName, Tones::secondaryText(palette())),
                                ViewStyle::text(preset.name), preset.id,
                                ViewStyle::text(PresetPickerPresenter::summary(preset))));
        }
    }
    nothingMatches_->setText(ViewStyle::text(presenter_.nothingMatchesText()));
    results_->setCurrentIndex(sections.empty() ? 1 : 0);
    refreshSelection();
}

}  // namespace corvane::app
