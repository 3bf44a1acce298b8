// A Qt model whose rows follow a list in place: the model's begin and end
// calls match each step, so the view's persistent indexes follow the rows.
#include <string>

#include <QAbstractItemModelTester>
#include <QAbstractListModel>
#include <QPersistentModelIndex>

#include <gtest/gtest.h>

#include "Views/Connections/ListChangeModel.hpp"

namespace corvane::app::testing {
namespace {

// One row per letter.
class Letters : public ListChangeModel<QAbstractListModel> {
public:
    void set(const std::string& to) {
        const std::vector<char> wanted(to.begin(), to.end());
        for (const ListChange& change : listChanges(rows_, wanted)) {
            applyChange(change, {}, rows_, [&](int row) { return to[static_cast<std::size_t>(row)]; });
        }
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return QString(QChar(rows_[static_cast<std::size_t>(index.row())]));
    }

private:
    std::vector<char> rows_;
};

TEST(ListChangeModelTest, RowsThatStayKeepTheirIndexesThroughEveryStep) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "abc"}, {"abc", ""}, {"abcde", "abe"}, {"abcde", "xyab"}, {"abc", "cba"}, {"abcd", "dxbya"},
        {"ab", "xyzab"},
    };
    for (const auto& [from, to] : cases) {
        Letters model;
        const QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.set(from);
        std::vector<std::pair<char, QPersistentModelIndex>> held;
        for (int row = 0; row < model.rowCount(); ++row) held.emplace_back(from[row], model.index(row));
        model.set(to);
        ASSERT_EQ(model.rowCount(), static_cast<int>(to.size())) << from << " → " << to;
        for (int row = 0; row < model.rowCount(); ++row) {
            EXPECT_EQ(model.index(row).data().toString(), QString(QChar(to[row]))) << from << " → " << to;
        }
        for (const auto& [letter, index] : held) {
            const std::size_t at = to.find(letter);
            if (at == std::string::npos) {
                EXPECT_FALSE(index.isValid()) << letter << ": " << from << " → " << to;
            } else {
                EXPECT_EQ(index.row(), static_cast<int>(at)) << letter << ": " << from << " → " << to;
            }
        }
    }
}

}  // namespace
}  // namespace corvane::app::testing
