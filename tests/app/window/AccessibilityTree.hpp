#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QRect>
#include <QString>
#include <QVariant>

namespace corvane::app::testing {

// A client of the accessibility bus (AT-SPI over D-Bus): it reads what a
// running program shows, as a screen reader would, so a test outside the
// program can check the texts of its windows and menus. Pop-up menus are no
// children of their program's node; they are found as the objects that
// announced they were shown.
class AccessibilityTree {
public:
    // One accessible object of one program.
    struct Node {
        QString service;
        QDBusObjectPath path;
    };

    // Connects to the accessibility bus announced on the session bus at
    // `sessionBusAddress`; none when there is none yet.
    static std::optional<AccessibilityTree> connect(const QString& sessionBusAddress);
    // Closes the connections connect() opened.
    static void disconnectAll();

    std::vector<Node> applications() const;
    std::vector<Node> children(const Node& node) const;
    QString name(const Node& node) const;
    QString roleName(const Node& node) const;
    // What a text field or label holds (its Text interface); empty when it has none.
    QString text(const Node& node) const;
    bool hasState(const Node& node, int state) const;
    // The node's place on the screen.
    QRect extents(const Node& node) const;

    // Asks programs to announce objects being shown, and records them; once,
    // later calls change nothing.
    void watchShownObjects();
    // The objects that announced being shown since watchShownObjects(), in order.
    const std::vector<Node>& shownObjects() const;

    // Every node below `root` (depth-first, at most `limit` nodes) that `matches`.
    template <class Predicate>
    std::vector<Node> find(const Node& root, Predicate matches, int limit = 2000) const {
        std::vector<Node> found;
        std::vector<Node> pending{root};
        for (int seen = 0; !pending.empty() && seen < limit; ++seen) {
            Node node = pending.back();
            pending.pop_back();
            if (matches(node)) found.push_back(node);
            for (const Node& child : children(node)) pending.push_back(child);
        }
        return found;
    }

    // AT-SPI state numbers used here.
    static constexpr int kSelected = 23;
    static constexpr int kShowing = 25;

private:
    class Listener;

    explicit AccessibilityTree(QDBusConnection bus);
    // The first value `method` of `interface` returns for `node`; an invalid
    // one (which casts to an empty value) when the call failed or returned nothing.
    QVariant query(const Node& node, const char* interface, const char* method,
                   const QVariantList& arguments = {}) const;

    QDBusConnection bus_;
    std::shared_ptr<Listener> listener_;
};

// Receives the "object:state-changed" events of the accessibility bus.
class AccessibilityTree::Listener : public QObject {
    Q_OBJECT

public:
    bool watching = false;
    std::vector<Node> shown;

public slots:
    void stateChanged(const QDBusMessage& message);
};

}  // namespace corvane::app::testing
