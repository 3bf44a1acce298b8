#include "RecordsPoll.hpp"

#include <string_view>

#include "AppState.hpp"
#include "CorvaneCore/Support/JsonDecodeError.hpp"

namespace corvane::app {

namespace {

// No reply, or one that is not a list of records, reads as none.
std::optional<std::vector<ConnectionRecord>> decoded(const std::optional<platform::Bytes>& reply) {
    if (!reply) return std::nullopt;
    try {
        return decodeRecordList(std::string_view(reinterpret_cast<const char*>(reply->data()), reply->size()));
    } catch (const JsonDecodeError&) {
        return std::nullopt;
    }
}

}  // namespace

RecordsPoll::RecordsPoll(AppState& state, Scheduler& scheduler, platform::Clock clock)
    : state_(&state), scheduler_(scheduler), clock_(std::move(clock)) {
    pass();
}

void RecordsPoll::pass() {
    if (!state_) return;
    ExtensionManager& manager = state_->extensionManager();
    if (manager.engineStatus().kind != EngineStatus::Kind::running) return sleep();
    manager.sendProviderMessage(ProviderRequest{ProviderRequest::Kind::fetchRecords, std::nullopt}, this,
                                [this](std::optional<platform::Bytes> reply) { fetched(reply); });
}

void RecordsPoll::fetched(const std::optional<platform::Bytes>& reply) {
    if (!state_) return;
    state_->takeFetchedRecords(decoded(reply), clock_());
    sleep();
}

void RecordsPoll::sleep() {
    wake_ = scheduler_.schedule(kPeriod, [this] { pass(); });
}

}  // namespace corvane::app
