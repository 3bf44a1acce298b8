#pragma once

namespace corvane::app {

class ActivationPolicy;
class AppState;
class LoginItem;
class UpdaterController;

// What the shell hands every page it makes: the app's one model and the app's
// services. All of them outlive every page.
struct PageContext {
    AppState& state;
    UpdaterController& updater;
    LoginItem& loginItem;
    ActivationPolicy& activationPolicy;
};

}  // namespace corvane::app
