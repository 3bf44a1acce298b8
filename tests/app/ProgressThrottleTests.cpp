// The throttle over a scheduler the test drives: what shows after each step.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Model/ProgressThrottle.hpp"
#include "Support/ManualScheduler.hpp"

namespace corvane::app::testing {
namespace {

using namespace std::chrono_literals;

// Runs `steps`, words apart: "r" reports, "f" flushes, "x" resets, "+N" lets N
// milliseconds pass. The count of showings after each step.
std::vector<int> showingsAfter(const std::string& steps) {
    ManualScheduler scheduler;
    int shown = 0;
    ProgressThrottle throttle(scheduler, 100ms, [&] { ++shown; });
    std::vector<int> counts;
    std::istringstream words(steps);
    for (std::string word; words >> word;) {
        if (word == "r") throttle.report();
        if (word == "f") throttle.flush();
        if (word == "x") throttle.reset();
        if (word.starts_with('+')) scheduler.advance(std::chrono::milliseconds(std::stoi(word.substr(1))));
        counts.push_back(shown);
    }
    return counts;
}

TEST(ProgressThrottleTest, ShowsAtOnceAfterAQuietIntervalAndFoldsTheRest) {
    const struct {
        const char* name;
        const char* steps;
        std::vector<int> showings;
    } cases[] = {
        {"a lone report", "r", {1}},
        {"reports within the interval show once when it is over", "r r r +99 +1", {1, 1, 1, 1, 2}},
        {"after a quiet interval a report shows at once", "r +100 r", {1, 1, 2}},
        {"a report shown late starts an interval of its own", "r r +100 r +99 +1 +100", {1, 1, 2, 2, 2, 3, 3}},
        {"flush shows what is held now, once", "r r f +100", {1, 1, 2, 2}},
        {"flush with nothing held shows nothing", "r f +100 f", {1, 1, 1, 1}},
        {"reset drops what is held and the interval", "r r x +100 r", {1, 1, 1, 1, 2}},
    };
    for (const auto& c : cases) EXPECT_EQ(showingsAfter(c.steps), c.showings) << c.name;
}

// A showing may end what the progress belongs to (the user cancels as it redraws).
TEST(ProgressThrottleTest, AResetWhileShowingLetsTheNextReportThroughAtOnce) {
    ManualScheduler scheduler;
    int shown = 0;
    ProgressThrottle throttle(scheduler, 100ms, [&] {
        if (++shown == 2) throttle.reset();
    });
    throttle.report();
    throttle.report();
    scheduler.advance(100ms);
    ASSERT_EQ(shown, 2);
    throttle.report();
    EXPECT_EQ(shown, 3);
    EXPECT_EQ(scheduler.pending(), 1u) << "only the interval of the last showing waits";
}

}  // namespace
}  // namespace corvane::app::testing
