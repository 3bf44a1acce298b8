#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QSettings>

#include "FakeDesktopServices.hpp"
#include "Support/ModelFixture.hpp"
#include "Support/QtPrinters.hpp"

namespace corvane::app::testing {

// The model over fakes, started, with a fake desktop and settings of the
// test's own in a temporary file.
class PageFixture : public ModelFixture {
protected:
    std::unique_ptr<AppState> state = startedState();
    FakeDesktopServices desktop;
    QSettings settings{QString::fromStdString((folder.path() / "settings.ini").string()), QSettings::IniFormat};

    void runEngine();
    // The daemon's answer to every later fetch; none: no reply.
    void answerFetchesWith(std::optional<std::vector<ConnectionRecord>> records);
    // The model shows these records (given newest first), fetched by a poll
    // that ends afterwards.
    void showRecords(const std::vector<ConnectionRecord>& newestFirst);
};

}  // namespace corvane::app::testing
