#include "RuleEditorDialog.hpp"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "AppPickerDialog.hpp"
#include "ChainEditorDialog.hpp"
#include "PatternListEditor.hpp"
#include "Presenters/Rules/AppPickerPresenter.hpp"
#include "PresetPickerDialog.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/SheetFooter.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

constexpr const char* kMatchFooter =
    "One entry per line. Leave a field empty to match anything. Services added from the library match by app "
    "<b>or</b> domain, so they keep working for apps that resolve DNS themselves.";

QPushButton* smallButton(const QString& text, std::string_view symbol) {
    auto* button = new QPushButton(IconRegistry::icon(symbol), text);
    button->setFont(Fonts::callout(button->font()));
    button->setIconSize(QSize(14, 14));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setAutoDefault(false);
    return button;
}

QLabel* sectionTitle(const QString& text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

}  // namespace

RuleEditorDialog::RuleEditorDialog(const AppState& state, Rule rule, QWidget* parent)
    : QDialog(parent), state_(state), presenter_(state, std::move(rule)) {
    setObjectName("ruleEditor");
    SheetFooter::fixSize(*this, QSize(kWidth, kHeight));

    auto* form = new QWidget;
    auto* formLayout = new QVBoxLayout(form);
    formLayout->setContentsMargins(20, 16, 20, 16);
    formLayout->setSpacing(10);
    auto* nameForm = new QFormLayout;
    name_ = new QLineEdit(ViewStyle::text(presenter_.rule().name));
    name_->setObjectName("name");
    nameForm->addRow("Name", name_);
    formLayout->addLayout(nameForm);
    formLayout->addWidget(makeMatchSection());
    formLayout->addWidget(makeActionSection());
    formLayout->addStretch();

    SheetFooter::layOut(*this, nullptr, ViewStyle::scrolled(form), makeFooter());

    connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) {
        presenter_.setName(text.toStdString());
        refresh();
    });
    connect(&state_, &AppState::profileChanged, this, &RuleEditorDialog::refresh);
    refreshTexts();
    refresh();
}

QWidget* RuleEditorDialog::makeMatchSection() {
    auto* section = new QWidget;
    auto* addPresets = smallButton("Add from Library…", "square.grid.2x2");
    addPresets->setObjectName("addFromLibrary");
    auto* header = new QHBoxLayout;
    header->addWidget(sectionTitle("Match"));
    header->addStretch();
    header->addWidget(addPresets);

    // What the daemon identifies an application by here: a Flatpak app's ID,
    // else its executable's name (globs allowed), or the executable's path.
    applications_ = new PatternListEditor("Applications", "org.mozilla.firefox\nfirefox*\n/usr/bin/curl", 86);
    hosts_ = new PatternListEditor("Target hosts", "example.com\n*.example.com\n10.0.0.0/8", 86);
    ports_ = new PatternListEditor("Ports", "443\n8000-8999", 54);
    auto* chooseApps = smallButton("Choose Apps…", "app.badge.checkmark");
    chooseApps->setObjectName("chooseApps");

    auto* all = new QRadioButton("App and target both match");
    auto* any = new QRadioButton("App or target matches");
    matchMode_ = new QButtonGroup(this);
    matchMode_->addButton(all, static_cast<int>(RuleMatchMode::all));
    matchMode_->addButton(any, static_cast<int>(RuleMatchMode::any));
    auto* modes = new QVBoxLayout;
    modes->addWidget(all);
    modes->addWidget(any);
    auto* matchWhen = new QFormLayout;
    matchWhen->addRow("Match when", modes);

    auto* box = new QGroupBox;
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setSpacing(8);
    auto* applicationsColumn = new QVBoxLayout;
    applicationsColumn->setSpacing(4);
    applicationsColumn->addWidget(applications_);
    applicationsColumn->addWidget(chooseApps);
    boxLayout->addLayout(applicationsColumn);
    boxLayout->addWidget(hosts_);
    boxLayout->addWidget(ports_);
    boxLayout->addLayout(matchWhen);

    auto* footer = ViewStyle::secondaryLabel(kMatchFooter, true);
    footer->setTextFormat(Qt::RichText);
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addLayout(header);
    layout->addWidget(box);
    layout->addWidget(footer);

    connect(addPresets, &QPushButton::clicked, this, &RuleEditorDialog::openPresetPicker);
    connect(chooseApps, &QPushButton::clicked, this, &RuleEditorDialog::openAppPicker);
    connect(applications_, &PatternListEditor::edited, this, [this] {
        presenter_.setApplicationsText(applications_->text());
        refresh();
    });
    connect(hosts_, &PatternListEditor::edited, this, [this] {
        presenter_.setHostsText(hosts_->text());
        refresh();
    });
    connect(ports_, &PatternListEditor::edited, this, [this] {
        presenter_.setPortsText(ports_->text());
        refresh();
    });
    connect(matchMode_, &QButtonGroup::idClicked, this,
            [this](int mode) { presenter_.setMatchMode(static_cast<RuleMatchMode>(mode)); });
    return section;
}

QWidget* RuleEditorDialog::makeActionSection() {
    action_ = new QComboBox;
    action_->setObjectName("action");
    action_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    chain_ = smallButton("Proxy chain…", "link");
    chain_->setObjectName("proxyChain");
    failover_ = smallButton("Failover…", "arrow.triangle.2.circlepath");
    failover_->setObjectName("failover");
    listHint_ = ViewStyle::secondaryLabel("Add a second proxy to chain or fail over.");
    auto* lists = new QHBoxLayout;
    lists->addWidget(chain_);
    lists->addWidget(failover_);
    lists->addWidget(listHint_);
    lists->addStretch();

    auto* box = new QGroupBox;
    auto* form = new QFormLayout(box);
    form->addRow("Action", action_);
    form->addRow(lists);

    auto* section = new QWidget;
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 6, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(sectionTitle("Action"));
    layout->addWidget(box);

    // Only a choice of the user changes the action: rebuilding the options or
    // clearing the selection must never turn a chain into Direct.
    connect(action_, &QComboBox::activated, this, [this](int option) {
        if (option < 0) return;
        presenter_.chooseAction(static_cast<std::size_t>(option));
        refresh();
    });
    connect(chain_, &QPushButton::clicked, this, [this] { openChainEditor(ProxyListPurpose::chain); });
    connect(failover_, &QPushButton::clicked, this, [this] { openChainEditor(ProxyListPurpose::failover); });
    return section;
}

SheetFooter* RuleEditorDialog::makeFooter() {
    warningRow_ = new QWidget;
    const QColor warning = Tones::readable(Tones::orange(), palette());
    auto* icon = new QLabel;
    icon->setPixmap(IconRegistry::tinted("exclamationmark.triangle.fill", warning).pixmap(14, 14));
    warning_ = new QLabel("Fix the highlighted entries to save");
    warning_->setObjectName("warning");
    warning_->setFont(Fonts::callout(warning_->font()));
    ViewStyle::setColour(warning_, warning);
    auto* warningLayout = new QHBoxLayout(warningRow_);
    warningLayout->setContentsMargins(0, 0, 0, 0);
    warningLayout->setSpacing(5);
    warningLayout->addWidget(icon);
    warningLayout->addWidget(warning_);

    auto* footer = new SheetFooter(*this, "Save", warningRow_);
    save_ = footer->action();
    save_->setObjectName("save");
    connect(save_, &QPushButton::clicked, this, &RuleEditorDialog::save);
    return footer;
}

void RuleEditorDialog::refresh() {
    applications_->setErrors(presenter_.applicationErrors());
    hosts_->setErrors(presenter_.hostErrors());
    ports_->setErrors(presenter_.portErrors());
    warningRow_->setVisible(presenter_.hasErrors());
    save_->setEnabled(presenter_.canSave());
    const bool lists = presenter_.canBuildProxyLists();
    chain_->setEnabled(lists);
    failover_->setEnabled(lists);
    listHint_->setVisible(!lists);
    refreshActions();
}

void RuleEditorDialog::refreshTexts() {
    const QString name = ViewStyle::text(presenter_.rule().name);
    if (name_->text() != name) name_->setText(name);
    applications_->setText(presenter_.applicationsText());
    hosts_->setText(presenter_.hostsText());
    ports_->setText(presenter_.portsText());
    matchMode_->button(static_cast<int>(presenter_.rule().matchMode))->setChecked(true);
}

void RuleEditorDialog::refreshActions() {
    const QSignalBlocker blocker(action_);
    action_->clear();
    for (const auto& option : presenter_.actionOptions()) action_->addItem(ViewStyle::text(option.label));
    const auto selected = presenter_.selectedAction();
    action_->setCurrentIndex(selected ? static_cast<int>(*selected) : -1);
}

void RuleEditorDialog::save() {
    if (!presenter_.canSave()) return;
    const auto rule = presenter_.save();
    if (!rule) return;
    emit saved(*rule);
    accept();
}

void RuleEditorDialog::openPresetPicker() {
    auto* picker = new PresetPickerDialog(this);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    connect(picker, &PresetPickerDialog::chosen, this, [this](const std::vector<ServicePreset>& presets) {
        presenter_.addPresets(presets);
        refreshTexts();
        refresh();
    });
    picker->open();
}

void RuleEditorDialog::openAppPicker() {
    auto* picker = new AppPickerDialog(AppPickerPresenter::seenIdentifiers(state_.records()),
                                       InstalledAppsScanner::systemSources(), this);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    connect(picker, &AppPickerDialog::chosen, this, [this](const std::vector<InstalledApp>& apps) {
        presenter_.addApps(apps);
        refreshTexts();
        refresh();
    });
    picker->open();
}

void RuleEditorDialog::openChainEditor(ProxyListPurpose purpose) {
    auto* editor = new ChainEditorDialog(state_.profile().proxies, purpose, presenter_.currentProxyList(), this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor, &ChainEditorDialog::used, this, [this, purpose](const std::vector<UUID>& ids) {
        presenter_.applyProxyList(purpose, ids);
        refresh();
    });
    editor->open();
}

}  // namespace corvane::app
