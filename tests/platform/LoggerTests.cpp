#include "platform/Logger.hpp"

#include <gtest/gtest.h>

#include "platform/JournalLogSink.hpp"
#include "platform/testing/CaptureLogSink.hpp"

namespace corvane::platform {
namespace {

struct FormatCase {
    const char* format;
    std::vector<LogArg> args;
    const char* persistent;
    const char* revealed;
};

LogEntry renderCase(const FormatCase& c) {
    switch (c.args.size()) {
    case 0: return Logger::render(LogLevel::info, "s", "c", c.format, {});
    case 1: return Logger::render(LogLevel::info, "s", "c", c.format, {c.args[0]});
    case 2: return Logger::render(LogLevel::info, "s", "c", c.format, {c.args[0], c.args[1]});
    default: return Logger::render(LogLevel::info, "s", "c", c.format, {c.args[0], c.args[1], c.args[2]});
    }
}

TEST(Logger, RendersThePositionalFormats) {
    const std::vector<FormatCase> cases = {
        {"Profile from %{public}s: %ld rules, %ld proxies",
         {LogArg::publicText("defaults"), LogArg::number(1), LogArg::number(0)},
         "Profile from defaults: 1 rules, 0 proxies", "Profile from defaults: 1 rules, 0 proxies"},
        {"Failed to apply settings: %s", {LogArg::privateText("denied")},
         "Failed to apply settings: <private>", "Failed to apply settings: denied"},
        // "%s" is private even for an argument made public; a private argument stays private.
        {"a %s b %{public}s", {LogArg::publicText("x"), LogArg::privateText("y")},
         "a <private> b <private>", "a x b y"},
        {"addr=%{public}s:%hu", {LogArg::publicText("198.18.0.10"), LogArg::number(std::uint16_t{7})},
         "addr=198.18.0.10:7", "addr=198.18.0.10:7"},
        // Arguments are never formats themselves.
        {"%{public}s", {LogArg::publicText("%s %n %{public}s")}, "%s %n %{public}s", "%s %n %{public}s"},
        {"100%% of %ld", {LogArg::number(3)}, "100% of 3", "100% of 3"},
        {"odd %q and %", {}, "odd %q and %", "odd %q and %"},
        {"missing %{public}s", {}, "missing <missing>", "missing <missing>"},
        {"  active rule “%{public}s” hosts=[%{public}s]",
         {LogArg::publicText("Local & private networks"), LogArg::publicText("localhost, *.local")},
         "  active rule “Local & private networks” hosts=[localhost, *.local]",
         "  active rule “Local & private networks” hosts=[localhost, *.local]"},
    };
    for (const auto& c : cases) {
        auto entry = renderCase(c);
        EXPECT_EQ(entry.message, c.persistent) << c.format;
        EXPECT_EQ(entry.revealedMessage, c.revealed) << c.format;
    }
}

TEST(Logger, EscapesControlCharactersSoNoArgumentCanForgeALine) {
    auto entry = Logger::render(LogLevel::info, "s", "c", "host=%{public}s end",
                                {LogArg::publicText("evil\nTCP forged\r\t\x01\x7f\xc2\x85\xe2\x80\xa8\xff")});
    EXPECT_EQ(entry.message, "host=evil\\nTCP forged\\r\\t\\x01\\x7F\\u{0085}\\u{2028}\xEF\xBF\xBD end");
    EXPECT_EQ(entry.revealedMessage, entry.message);
}

TEST(Logger, RecordsWhichArgumentsWerePrivate) {
    auto entry = Logger::render(LogLevel::error, "sub", "cat", "Relay setup to %{public}s failed: %s",
                                {LogArg::publicText("198.18.0.10:7"), LogArg::privateText("refused")});
    EXPECT_EQ(entry.privateArguments, (std::vector<bool>{false, true}));
    EXPECT_EQ(entry.level, LogLevel::error);
    EXPECT_EQ(entry.subsystem, "sub");
    EXPECT_EQ(entry.category, "cat");
}

TEST(Logger, WritesToTheInstalledSink) {
    testing::ScopedLogCapture capture;
    Logger log("org.corvane.Corvane.tunnel", "provider");
    log.info("Profile from %{public}s: %ld rules, %ld proxies",
             {LogArg::publicText("app message"), LogArg::number(2), LogArg::number(1)});
    log.error("Unrecognised app message (%ld bytes)", {LogArg::number(std::size_t{5})});
    ASSERT_EQ(capture->entries().size(), 2u);
    EXPECT_EQ(capture->lines(), (std::vector<std::string>{"Profile from app message: 2 rules, 1 proxies",
                                                          "Unrecognised app message (5 bytes)"}));
    EXPECT_EQ(capture->entries()[1].level, LogLevel::error);
    EXPECT_EQ(capture->entries()[1].category, "provider");
}

TEST(Logger, CaptureSinkIsBounded) {
    testing::CaptureLogSink sink(2);
    for (const char* text : {"a", "b", "c"}) sink.write(LogEntry{LogLevel::info, "s", "c", text, text, {}});
    EXPECT_EQ(sink.lines(), (std::vector<std::string>{"b", "c"}));
}

TEST(JournalLogSink, StandardErrorLinesCarryThePriorityPrefix) {
    auto info = Logger::render(LogLevel::info, "org.corvane.Corvane.tunnel", "provider", "x %s",
                               {LogArg::privateText("secret")});
    auto error = Logger::render(LogLevel::error, "org.corvane.Corvane.tunnel", "provider", "y", {});
    EXPECT_EQ(JournalLogSink::standardErrorLine(info), "<6>org.corvane.Corvane.tunnel[provider]: x <private>\n");
    EXPECT_EQ(JournalLogSink::standardErrorLine(error), "<3>org.corvane.Corvane.tunnel[provider]: y\n");
}

}  // namespace
}  // namespace corvane::platform
