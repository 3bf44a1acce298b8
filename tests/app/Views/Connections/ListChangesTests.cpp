// The in-place steps between two lists of row keys.
#include <string>

#include <gtest/gtest.h>

#include "Views/Connections/ListChanges.hpp"

namespace corvane::app::testing {
namespace {

using Kind = ListChange::Kind;

// Applies the steps as an item model would, checking that a kept key is never
// removed and that every step is in range.
std::string applied(std::string rows, const std::string& to) {
    for (const ListChange& change : listChanges(std::vector<char>(rows.begin(), rows.end()),
                                                std::vector<char>(to.begin(), to.end()))) {
        EXPECT_GE(change.first, 0);
        EXPECT_GE(change.count, 1);
        switch (change.kind) {
            case Kind::remove:
                EXPECT_LE(change.first + change.count, static_cast<int>(rows.size()));
                for (int i = change.first; i < change.first + change.count; ++i) {
                    EXPECT_EQ(to.find(rows[i]), std::string::npos) << "kept row " << rows[i] << " removed";
                }
                rows.erase(change.first, change.count);
                break;
            case Kind::insert: rows.insert(change.first, to.substr(change.first, change.count)); break;
            case Kind::move: {
                EXPECT_LT(change.to, change.first);
                const char moved = rows[change.first];
                rows.erase(change.first, 1);
                rows.insert(rows.begin() + change.to, moved);
                break;
            }
        }
    }
    return rows;
}

TEST(ListChangesTest, EveryListBecomesTheTargetWithoutRemovingKeptRows) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},       {"", "abc"},     {"abc", ""},       {"abc", "abc"},  {"abc", "xabc"},
        {"abcde", "abe"}, {"abcde", "xyab"}, {"abc", "cab"}, {"abc", "cba"},  {"abcd", "dxbya"},
        {"abcdef", "fedcba"}, {"ab", "xyzab"},
    };
    for (const auto& [from, to] : cases) EXPECT_EQ(applied(from, to), to) << from << " → " << to;
}

TEST(ListChangesTest, APollAddingNewestAndDroppingOldestIsOneInsertAndOneRemove) {
    const std::vector<ListChange> changes =
        listChanges(std::vector<int>{3, 2, 1, 0}, std::vector<int>{5, 4, 3, 2, 1});
    EXPECT_EQ(changes, (std::vector<ListChange>{{Kind::remove, 3, 1}, {Kind::insert, 0, 2}}));
    const std::vector<ListChange> regrouped = listChanges(std::vector<int>{1, 2, 3}, std::vector<int>{3, 1, 2});
    EXPECT_EQ(regrouped, (std::vector<ListChange>{{Kind::move, 2, 1, 0}})) << "a group with a new record moves up";
}

TEST(ListChangesTest, RepeatedKeysReplaceTheWholeList) {
    EXPECT_EQ(listChanges(std::vector<int>{1, 1}, std::vector<int>{1}),
              (std::vector<ListChange>{{Kind::remove, 0, 2}, {Kind::insert, 0, 1}}));
}

}  // namespace
}  // namespace corvane::app::testing
