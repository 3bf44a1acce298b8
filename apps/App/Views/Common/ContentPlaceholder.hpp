#pragma once

#include <string_view>

#include <QLabel>
#include <QWidget>

namespace corvane::app {

// A page's word where there is nothing to show: a large faint symbol, a title
// in the secondary colour and an optional hint below, centred in all the space
// it gets.
class ContentPlaceholder : public QWidget {
    Q_OBJECT

public:
    ContentPlaceholder(std::string_view symbol, const QString& title, QWidget* parent = nullptr);

    QString title() const { return title_->text(); }
    // An empty hint hides it.
    void setHint(const QString& hint);
    QString hint() const { return hint_->isHidden() ? QString() : hint_->text(); }

private:
    QLabel* title_;
    QLabel* hint_;
};

}  // namespace corvane::app
