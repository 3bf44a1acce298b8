#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "Support/ModelFixture.hpp"

namespace corvane::app::testing {

// The model after its start-up, holding a given profile, and a count of the
// saves an operation makes (each save reaches the daemon's store once).
class EditorFixture : public ModelFixture {
protected:
    std::unique_ptr<AppState> state;

    void start(const Profile& profile) {
        state = startedState();
        state->setProfile(profile);
        state->saveProfile();
        settle();
    }
    std::size_t savesDuring(const std::function<void()>& operation) {
        const std::size_t before = daemon.saves.size();
        operation();
        settle();
        return daemon.saves.size() - before;
    }
};

}  // namespace corvane::app::testing
