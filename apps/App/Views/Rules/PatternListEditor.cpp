#include "PatternListEditor.hpp"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "Presenters/Rules/PatternListTexts.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

QString outlineStyle(const QColor& outline) {
    return QString("QPlainTextEdit { border: 1px solid %1; border-radius: 6px; padding: 4px; "
                   "background: palette(base); }")
        .arg(outline.name(QColor::HexArgb));
}

QWidget* errorRow(const PatternValidator::EntryError& error) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    const QColor colour = Tones::readable(Tones::red(), row->palette());
    auto* icon = new QLabel(row);
    icon->setPixmap(IconRegistry::tinted("xmark.circle.fill", colour).pixmap(12, 12));
    auto* text = new QLabel(ViewStyle::text(PatternListTexts::errorLine(error)), row);
    text->setObjectName("errorLine");
    text->setFont(Fonts::callout(text->font()));
    text->setWordWrap(true);
    ViewStyle::setColour(text, colour);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(text, 1);
    return row;
}

}  // namespace

PatternListEditor::PatternListEditor(const QString& title, const QString& examples, int height, QWidget* parent)
    : QWidget(parent), count_(ViewStyle::secondaryLabel("any")), text_(new QPlainTextEdit(this)),
      errors_(new QVBoxLayout) {
    count_->setObjectName("countLabel");
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(font().pointSizeF());
    text_->setFont(mono);
    text_->setPlaceholderText(examples);
    text_->setAccessibleName(title);
    text_->setFixedHeight(height);
    text_->setTabChangesFocus(true);
    text_->setStyleSheet(outlineStyle(Tones::faint(palette())));
    errors_->setContentsMargins(0, 0, 0, 0);
    errors_->setSpacing(2);

    auto* header = new QHBoxLayout;
    header->addWidget(new QLabel(title, this));
    header->addStretch();
    header->addWidget(count_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(4);
    layout->addLayout(header);
    layout->addWidget(text_);
    layout->addLayout(errors_);

    connect(text_, &QPlainTextEdit::textChanged, this, [this] {
        updateCount();
        emit edited();
    });
}

std::string PatternListEditor::text() const { return text_->toPlainText().toStdString(); }

void PatternListEditor::setText(const std::string& text) {
    const QSignalBlocker blocker(text_);
    text_->setPlainText(ViewStyle::text(text));
    updateCount();
}

void PatternListEditor::setErrors(const std::vector<PatternValidator::EntryError>& errors) {
    while (QLayoutItem* item = errors_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const auto& error : errors) errors_->addWidget(errorRow(error));
    text_->setStyleSheet(outlineStyle(errors.empty() ? Tones::faint(palette()) : Tones::red()));
}

QStringList PatternListEditor::errorLines() const {
    QStringList lines;
    for (const QLabel* label : findChildren<QLabel*>("errorLine")) lines << label->text();
    return lines;
}

QString PatternListEditor::countText() const { return count_->text(); }

void PatternListEditor::updateCount() { count_->setText(ViewStyle::text(PatternListTexts::countLabel(text()))); }

}  // namespace corvane::app
