// The detail sheet's rows and the text "Copy Details" copies.
#include <limits>

#include <gtest/gtest.h>

#include "Support/Records.hpp"
#include "Views/Connections/ConnectionDetail.hpp"

namespace corvane::app::testing {
namespace {

using Kind = ConnectionDetail::Row::Kind;

struct ShownRow {
    QString label;
    QString value;
    Kind kind;
    friend bool operator==(const ShownRow&, const ShownRow&) = default;
    friend void PrintTo(const ShownRow& row, std::ostream* out) {
        *out << row.label.toStdString() << ": " << row.value.toStdString();
    }
};

std::vector<ShownRow> rowsOf(const ConnectionDetail::Section& section) {
    std::vector<ShownRow> rows;
    for (const auto& row : section.rows) rows.push_back({row.label, row.value, row.kind});
    return rows;
}

TEST(ConnectionDetailTest, AFullRecordShowsEveryRowAndCopiesElevenLines) {
    ConnectionRecord record = shownRecord("org.mozilla.firefox", "example.org:443", "Proxy: Office", "Work",
                                          ConnectionStatus::blocked, 13 * 3600 + 61);
    record.appPath = "/usr/lib/firefox/firefox";
    record.appIdentity = CodeIdentity{true, std::nullopt, false};
    record.transport = TransportProtocol::udp;
    record.bytesSent = std::numeric_limits<std::uint64_t>::max();
    record.bytesReceived = 1536;
    const ConnectionDetail detail(record);

    const auto sections = detail.sections();
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].title, "Connection");
    EXPECT_EQ(rowsOf(sections[0]), (std::vector<ShownRow>{
                                       {"Application", "org.mozilla.firefox", Kind::selectable},
                                       {"Path", "/usr/lib/firefox/firefox", Kind::secondaryText},
                                       {"Identity", "Signed, no team (ad-hoc)", Kind::identity},
                                       {"Target", "example.org:443", Kind::selectable},
                                       {"Transport", "UDP", Kind::text},
                                       {"Started", "1 Jan 2001 13:01:01", Kind::text},
                                       {"Status", "Blocked", Kind::status},
                                   }));
    EXPECT_EQ(sections[1].title, "Routing");
    EXPECT_EQ(rowsOf(sections[1]), (std::vector<ShownRow>{{"Action", "Proxy: Office", Kind::text},
                                                          {"Matched rule", "Work", Kind::text}}));
    EXPECT_EQ(sections[2].title, "Traffic");
    EXPECT_EQ(rowsOf(sections[2]), (std::vector<ShownRow>{{"Sent", "8.0 EB", Kind::text},
                                                          {"Received", "1.5 kB", Kind::text},
                                                          {"Total", "8.0 EB", Kind::text}}))
        << "the total saturates instead of wrapping to 1535 bytes";

    EXPECT_EQ(detail.plainText(),
              "Application: org.mozilla.firefox\n"
              "Path: /usr/lib/firefox/firefox\n"
              "Identity: Signed, no team (ad-hoc)\n"
              "Target: example.org:443\n"
              "Transport: UDP\n"
              "Started: 1 Jan 2001 13:01:01\n"
              "Status: blocked\n"
              "Action: Proxy: Office\n"
              "Rule: Work\n"
              "Sent: 8.0 EB\n"
              "Received: 1.5 kB");
}

TEST(ConnectionDetailTest, ABareRecordHidesPathAndIdentityButCopiesTheirPlaceholders) {
    ConnectionRecord record = shownRecord("curl", "10.0.0.5:80", "Direct", std::nullopt, ConnectionStatus::active);
    record.bytesSent = 1023;
    record.bytesReceived = 1;
    const ConnectionDetail detail(record);
    const auto sections = detail.sections();
    std::vector<QString> labels;
    for (const auto& row : sections[0].rows) labels.push_back(row.label);
    EXPECT_EQ(labels, (std::vector<QString>{"Application", "Target", "Transport", "Started", "Status"}));
    EXPECT_EQ(sections[1].rows[1].value, "— (default action)");
    EXPECT_EQ(sections[2].rows[2].value, "1.0 kB") << "the sum formatted once";
    EXPECT_EQ(detail.plainText(),
              "Application: curl\n"
              "Path: —\n"
              "Identity: not checked\n"
              "Target: 10.0.0.5:80\n"
              "Transport: TCP\n"
              "Started: 1 Jan 2001 00:00:00\n"
              "Status: active\n"
              "Action: Direct\n"
              "Rule: default\n"
              "Sent: 1023 bytes\n"
              "Received: 1 bytes");
}

TEST(ConnectionDetailTest, TheIdentityIconWarnsFirstThenMarksSystemBinaries) {
    using Icon = ConnectionDetail::IdentityIcon;
    const struct {
        CodeIdentity identity;
        Icon icon;
        const char* text;
    } cases[] = {
        {{false, std::nullopt, true}, Icon::warningShield, "System binary"},
        {{false, "TEAM", false}, Icon::warningShield, "Signature not verified"},
        {{true, std::nullopt, true}, Icon::package, "System binary"},
        {{true, "TEAM", false}, Icon::seal, "Signed by team TEAM"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConnectionDetail::identityIcon(c.identity), c.icon) << c.text;
        EXPECT_EQ(c.identity.displayText(), c.text);
    }
}

}  // namespace
}  // namespace corvane::app::testing
