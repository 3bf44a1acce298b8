#include "ManualScheduler.hpp"

namespace corvane::app::testing {

class ManualScheduler::Call : public ScheduledCall {
public:
    Call(ManualScheduler& scheduler, std::uint64_t id) : scheduler_(scheduler), id_(id) {}
    ~Call() override { scheduler_.entries_.erase(id_); }

private:
    ManualScheduler& scheduler_;
    std::uint64_t id_;
};

std::unique_ptr<ScheduledCall> ManualScheduler::schedule(std::chrono::milliseconds delay,
                                                        std::function<void()> action) {
    const std::uint64_t id = nextId_++;
    entries_[id] = Entry{now_ + delay, std::move(action)};
    lastDelay_ = delay;
    return std::make_unique<Call>(*this, id);
}

void ManualScheduler::advance(std::chrono::milliseconds by) {
    const auto target = now_ + by;
    for (;;) {
        auto next = entries_.end();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->second.due <= target && (next == entries_.end() || it->second.due < next->second.due)) next = it;
        }
        if (next == entries_.end()) break;
        now_ = next->second.due;
        auto action = std::move(next->second.action);
        entries_.erase(next);
        action();
    }
    now_ = target;
}

}  // namespace corvane::app::testing
