#include "SampleRecords.hpp"

#include "Support/Records.hpp"

namespace corvane::app::testing {

std::vector<ConnectionRecord> sampleRecords() {
    const double nine = 9 * 3600;
    struct Row {
        const char* app;
        const char* target;
        const char* action;
        std::optional<std::string> rule;
        ConnectionStatus status;
        std::uint64_t sent;
        std::uint64_t received;
    };
    const Row rows[] = {
        {"org.mozilla.firefox", "www.example.org:443", "Proxy: Office", "Work sites", ConnectionStatus::closed, 18'400, 912'000},
        {"curl", "downloads.example.net:443", "Direct", std::nullopt, ConnectionStatus::closed, 920, 48'300'000},
        {"systemd-resolved", "9.9.9.9:53", "Direct", "Local and DNS", ConnectionStatus::closed, 74, 190},
        {"org.mozilla.firefox", "tracker.ads.example:443", "Block", "No trackers", ConnectionStatus::blocked, 0, 0},
        {"org.chromium.Chromium", "meet.example.com:443", "Chain: Office → Home", "Calls", ConnectionStatus::active, 2'400'000, 5'100'000},
        {"org.mozilla.firefox", "mail.example.org:993", "Failover: Office, then Home", "Work sites", ConnectionStatus::failed, 310, 0},
        {"ssh", "build.internal.example:22", "Direct", "Local and DNS", ConnectionStatus::active, 88'000, 1'240'000},
        {"org.mozilla.firefox", "cdn.example.org:443", "Proxy: Office", "Work sites", ConnectionStatus::active, 6'100, 3'800'000},
    };
    std::vector<ConnectionRecord> records;
    double at = nine;
    for (const Row& row : rows) {
        ConnectionRecord record = shownRecord(row.app, row.target, row.action, row.rule, row.status, at);
        record.bytesSent = row.sent;
        record.bytesReceived = row.received;
        if (std::string(row.app) == "systemd-resolved") record.transport = TransportProtocol::udp;
        if (std::string(row.app) == "curl") {
            record.appPath = "/usr/bin/curl";
            record.appIdentity = CodeIdentity{true, std::nullopt, true};
        }
        records.push_back(record);
        at += 37;
    }
    return records;
}

}  // namespace corvane::app::testing
