#include "PageFixture.hpp"

namespace corvane::app::testing {

void PageFixture::runEngine() {
    state->extensionManager().start();
    settle();
    ASSERT_EQ(state->extensionManager().engineStatus(), EngineStatus::running());
}

void PageFixture::answerFetchesWith(std::optional<std::vector<ConnectionRecord>> records) {
    daemon.answer = [records](const platform::Bytes&) {
        if (!records) return DaemonConnection::MessageResult{};
        const std::string text = encodeRecordList(*records);
        return DaemonConnection::MessageResult{platform::Bytes(text.begin(), text.end()), std::nullopt};
    };
}

void PageFixture::showRecords(const std::vector<ConnectionRecord>& newestFirst) {
    if (state->extensionManager().engineStatus() != EngineStatus::running()) runEngine();
    answerFetchesWith(std::vector<ConnectionRecord>(newestFirst.rbegin(), newestFirst.rend()));
    auto poll = state->pollRecords();
    settle();
    ASSERT_EQ(state->records(), newestFirst);
}

}  // namespace corvane::app::testing
