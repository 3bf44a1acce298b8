#include "ConnectionDetail.hpp"

#include <QStringList>

#include "CorvaneCore/Logging/SaturatingAdd.hpp"
#include "Presenters/Connections/ConnectionTexts.hpp"
#include "Presenters/FormatBytes.hpp"
#include "Views/Common/DateTexts.hpp"

namespace corvane::app {

namespace {

QString text(const std::string& value) { return QString::fromStdString(value); }

QString transportText(TransportProtocol transport) {
    return QString::fromUtf8(toString(transport)).toUpper();
}

}  // namespace

ConnectionDetail::ConnectionDetail(ConnectionRecord record) : record_(std::move(record)) {}

std::vector<ConnectionDetail::Section> ConnectionDetail::sections() const {
    using Kind = Row::Kind;
    std::vector<Row> connection{{"Application", text(record_.appIdentifier), Kind::selectable}};
    if (record_.appPath) connection.push_back({"Path", text(*record_.appPath), Kind::secondaryText});
    if (record_.appIdentity) {
        connection.push_back({"Identity", text(record_.appIdentity->displayText()), Kind::identity});
    }
    connection.push_back({"Target", text(record_.target), Kind::selectable});
    connection.push_back({"Transport", transportText(record_.transport), Kind::text});
    connection.push_back({"Started", DateTexts::dateAndTime(record_.startedAt), Kind::text});
    connection.push_back({"Status", ConnectionTexts::statusTitle(record_.status), Kind::status});

    const QString rule = record_.ruleName ? text(*record_.ruleName) : QStringLiteral("— (default action)");
    std::vector<Row> routing{{"Action", text(record_.actionDescription), Kind::text},
                             {"Matched rule", rule, Kind::text}};

    const std::uint64_t total = saturatingAdd(record_.bytesSent, record_.bytesReceived);
    std::vector<Row> traffic{{"Sent", formatBytes(record_.bytesSent), Kind::text},
                             {"Received", formatBytes(record_.bytesReceived), Kind::text},
                             {"Total", formatBytes(total), Kind::text}};
    return {{"Connection", std::move(connection)}, {"Routing", std::move(routing)}, {"Traffic", std::move(traffic)}};
}

QString ConnectionDetail::plainText() const {
    const QStringList lines{
        "Application: " + text(record_.appIdentifier),
        "Path: " + (record_.appPath ? text(*record_.appPath) : QStringLiteral("—")),
        "Identity: " + (record_.appIdentity ? text(record_.appIdentity->displayText()) : QStringLiteral("not checked")),
        "Target: " + text(record_.target),
        "Transport: " + transportText(record_.transport),
        "Started: " + DateTexts::dateAndTime(record_.startedAt),
        "Status: " + QString::fromUtf8(toString(record_.status)),
        "Action: " + text(record_.actionDescription),
        "Rule: " + (record_.ruleName ? text(*record_.ruleName) : QStringLiteral("default")),
        "Sent: " + formatBytes(record_.bytesSent),
        "Received: " + formatBytes(record_.bytesReceived),
    };
    return lines.join('\n');
}

ConnectionDetail::IdentityIcon ConnectionDetail::identityIcon(const CodeIdentity& identity) {
    if (!identity.isValid) return IdentityIcon::warningShield;
    if (identity.isPlatformBinary) return IdentityIcon::package;
    return IdentityIcon::seal;
}

}  // namespace corvane::app
