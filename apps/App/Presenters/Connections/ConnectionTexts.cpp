#include "ConnectionTexts.hpp"

#include <QStringList>

#include "Presenters/FormatBytes.hpp"

namespace corvane::app::ConnectionTexts {

QString statusTitle(ConnectionStatus status) {
    QString text = QString::fromUtf8(toString(status));
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

QString traffic(std::uint64_t sent, std::uint64_t received) {
    return "↑" + formatBytes(sent) + "  ↓" + formatBytes(received);
}

QString ruleName(const ConnectionRecord& record) {
    return record.ruleName ? QString::fromStdString(*record.ruleName) : QStringLiteral("—");
}

QString groupRuleNames(const ConnectionGroup& group) {
    QStringList names;
    for (std::size_t i = 0; i < group.ruleNames.size() && i < 2; ++i) {
        names << QString::fromStdString(group.ruleNames[i]);
    }
    return names.join(", ");
}

}  // namespace corvane::app::ConnectionTexts
