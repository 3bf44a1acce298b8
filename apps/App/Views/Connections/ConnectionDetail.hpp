#pragma once

#include <vector>

#include <QString>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"

namespace corvane::app {

// What the detail sheet shows of one record, fixed when it opens: three
// sections of labelled rows, and the plain text "Copy Details" puts on the
// clipboard.
class ConnectionDetail {
public:
    enum class IdentityIcon { warningShield, package, seal };

    struct Row {
        // selectable and secondaryText can be selected for copying.
        enum class Kind { text, selectable, secondaryText, identity, status };
        QString label;
        QString value;
        Kind kind = Kind::text;
    };
    struct Section {
        QString title;
        std::vector<Row> rows;
    };

    explicit ConnectionDetail(ConnectionRecord record);

    const ConnectionRecord& record() const { return record_; }
    // "Connection", "Routing", "Traffic".
    std::vector<Section> sections() const;
    // Eleven lines, no line feed after the last, no total.
    QString plainText() const;
    // For the identity row: not valid, a system binary, or else valid.
    static IdentityIcon identityIcon(const CodeIdentity& identity);

private:
    ConnectionRecord record_;
};

}  // namespace corvane::app
