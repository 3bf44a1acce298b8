#pragma once

#include <string>

#include <QDialog>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace corvane::app {

class PickerSearchBar;
class SheetFooter;

// What the two pickers share: the search row, the list of checkable rows under
// section headers, and the footer with the selection count and "Add to Rule".
// A row is checked and unchecked by a click or by Space on the current row.
class PickerDialog : public QDialog {
public:
    static constexpr int kWidth = 520;
    static constexpr int kHeight = 560;

    PickerSearchBar* searchBar() const { return search_; }
    QListWidget* list() const { return list_; }
    QLabel* selectionCount() const { return count_; }
    QPushButton* addButton() const;

protected:
    PickerDialog(const QString& searchPlaceholder, bool clearButton, QWidget* parent);

    // Puts `content` (which shows list()) between the search row and the footer.
    void layOut(QWidget* content);
    static QListWidgetItem* headerItem(const QString& title);
    // A checkable row: an item's icon, name, identifier and subtitle.
    QListWidgetItem* row(const QIcon& icon, const QString& name, const std::string& id,
                         const QString& subtitle) const;
    void refreshSelection();

    virtual void setQuery(const std::string& query) = 0;
    virtual void toggle(const std::string& id) = 0;
    virtual bool isSelected(const std::string& id) const = 0;
    virtual std::string selectionText() const = 0;
    virtual bool canAdd() const = 0;
    // Hands the chosen items to the sheet's signal.
    virtual void emitChosen() = 0;
    virtual void refresh() = 0;

private:
    void toggleItem(QListWidgetItem* item);

    PickerSearchBar* search_;
    QListWidget* list_;
    QLabel* count_;
    SheetFooter* footer_;
};

}  // namespace corvane::app
