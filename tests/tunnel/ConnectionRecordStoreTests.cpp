#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Tunnel/ConnectionRecordStore.hpp"

namespace corvane::tunnel {
namespace {

// One step of a case: a record named `name` starts running or blocked, or ends.
struct Step {
    enum Kind { run, block, close } kind;
    std::string name;
};

// Replays the steps on a store of three records; the names it keeps, oldest first.
std::vector<std::string> keptAfter(const std::vector<Step>& steps) {
    ConnectionRecordStore store(3);
    std::map<std::string, UUID> ids;
    for (const Step& step : steps) {
        if (step.kind == Step::close) {
            store.update(ids.at(step.name), [](ConnectionRecord& record) { record.status = ConnectionStatus::closed; });
            continue;
        }
        ConnectionRecord record;
        record.id = UUID::random();
        record.appIdentifier = step.name;
        record.status = step.kind == Step::block ? ConnectionStatus::blocked : ConnectionStatus::active;
        ids[step.name] = record.id;
        store.append(std::move(record));
    }
    std::vector<std::string> names;
    for (const ConnectionRecord& record : store.records()) names.push_back(record.appIdentifier);
    return names;
}

TEST(ConnectionRecordStoreTest, MakesRoomFromTheOldestEndedRecordFirst) {
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"all ended: the oldest goes",
         {{Step::block, "a"}, {Step::block, "b"}, {Step::block, "c"}, {Step::block, "d"}},
         {"b", "c", "d"}},
        {"a running record outlives newer ended ones",
         {{Step::run, "a"}, {Step::block, "b"}, {Step::block, "c"}, {Step::block, "d"}, {Step::block, "e"}},
         {"a", "d", "e"}},
        {"all running: the oldest running goes",
         {{Step::run, "a"}, {Step::run, "b"}, {Step::run, "c"}, {Step::run, "d"}},
         {"b", "c", "d"}},
        {"a record that ended between running ones goes, the order stays",
         {{Step::run, "a"}, {Step::run, "b"}, {Step::run, "c"}, {Step::close, "b"}, {Step::run, "d"}},
         {"a", "c", "d"}},
        {"the oldest ended goes, not the first to end",
         {{Step::run, "a"}, {Step::run, "b"}, {Step::run, "c"}, {Step::close, "c"}, {Step::close, "a"},
          {Step::run, "d"}},
         {"b", "c", "d"}},
        {"the close of a dropped record changes nothing",
         {{Step::run, "a"}, {Step::run, "b"}, {Step::run, "c"}, {Step::run, "d"}, {Step::close, "a"},
          {Step::run, "e"}},
         {"c", "d", "e"}},
    };
    for (const Case& c : cases) EXPECT_EQ(keptAfter(c.steps), c.kept) << c.what;
}

}  // namespace
}  // namespace corvane::tunnel
