#pragma once

#include <memory>

#include "Support/ModelFixture.hpp"

namespace corvane::app::testing {

// The model after its start-up, holding a given profile.
class EditorFixture : public ModelFixture {
protected:
    std::unique_ptr<AppState> state;

    void start(const Profile& profile) {
        state = startedState();
        state->setProfile(profile);
        state->saveProfile();
        settle();
    }
};

}  // namespace corvane::app::testing
