#include "AccessibilityTree.hpp"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>

namespace corvane::app::testing {

namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kSessionName = "corvane-test-session";
constexpr const char* kAccessibilityName = "corvane-test-a11y";

struct Reference {
    QString service;
    QDBusObjectPath path;
};

const QDBusArgument& operator>>(const QDBusArgument& argument, Reference& reference) {
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const Reference& reference) {
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}

struct Extents {
    int x = 0, y = 0, width = 0, height = 0;
};

const QDBusArgument& operator>>(const QDBusArgument& argument, Extents& extents) {
    argument.beginStructure();
    argument >> extents.x >> extents.y >> extents.width >> extents.height;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const Extents& extents) {
    argument.beginStructure();
    argument << extents.x << extents.y << extents.width << extents.height;
    argument.endStructure();
    return argument;
}

}  // namespace

}  // namespace corvane::app::testing

Q_DECLARE_METATYPE(corvane::app::testing::Reference)
Q_DECLARE_METATYPE(corvane::app::testing::Extents)

namespace corvane::app::testing {

AccessibilityTree::AccessibilityTree(QDBusConnection bus)
    : bus_(std::move(bus)), listener_(std::make_shared<Listener>()) {}

void AccessibilityTree::Listener::stateChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() >= 2 && arguments[0].toString() == "showing" && arguments[1].toInt() == 1) {
        shown.push_back({message.service(), QDBusObjectPath(message.path())});
    }
}

void AccessibilityTree::watchShownObjects() {
    bus_.connect({}, {}, "org.a11y.atspi.Event.Object", "StateChanged", listener_.get(),
                 SLOT(stateChanged(QDBusMessage)));
    // Programs send events only once someone registered for them.
    QDBusMessage call = QDBusMessage::createMethodCall("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                                                       "org.a11y.atspi.Registry", "RegisterEvent");
    call << QString("object:state-changed:showing");
    if (bus_.call(call, QDBus::Block, 2000).type() == QDBusMessage::ErrorMessage) {
        call << QStringList() << QString();
        bus_.call(call, QDBus::Block, 2000);
    }
}

const std::vector<AccessibilityTree::Node>& AccessibilityTree::shownObjects() const { return listener_->shown; }

std::optional<AccessibilityTree> AccessibilityTree::connect(const QString& sessionBusAddress) {
    qDBusRegisterMetaType<Reference>();
    qDBusRegisterMetaType<QList<Reference>>();
    qDBusRegisterMetaType<Extents>();
    QDBusConnection session = QDBusConnection::connectToBus(sessionBusAddress, kSessionName);
    const QDBusMessage reply = session.call(
        QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"), QDBus::Block,
        2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    const QString address = reply.arguments().first().toString();
    if (address.isEmpty()) return std::nullopt;
    QDBusConnection bus = QDBusConnection::connectToBus(address, kAccessibilityName);
    if (!bus.isConnected()) return std::nullopt;
    return AccessibilityTree(bus);
}

void AccessibilityTree::disconnectAll() {
    QDBusConnection::disconnectFromBus(kAccessibilityName);
    QDBusConnection::disconnectFromBus(kSessionName);
}

std::vector<AccessibilityTree::Node> AccessibilityTree::applications() const {
    return children({"org.a11y.atspi.Registry", QDBusObjectPath("/org/a11y/atspi/accessible/root")});
}

std::vector<AccessibilityTree::Node> AccessibilityTree::children(const Node& node) const {
    QDBusMessage call = QDBusMessage::createMethodCall(node.service, node.path.path(), kAccessible, "GetChildren");
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 2000);
    std::vector<Node> nodes;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return nodes;
    const auto references = qdbus_cast<QList<Reference>>(reply.arguments().first());
    for (const Reference& reference : references) {
        if (reference.path.path() != "/org/a11y/atspi/null") nodes.push_back({reference.service, reference.path});
    }
    return nodes;
}

QString AccessibilityTree::name(const Node& node) const {
    QDBusMessage call = QDBusMessage::createMethodCall(node.service, node.path.path(),
                                                       "org.freedesktop.DBus.Properties", "Get");
    call << QString(kAccessible) << QString("Name");
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return qdbus_cast<QDBusVariant>(reply.arguments().first()).variant().toString();
}

QString AccessibilityTree::roleName(const Node& node) const {
    QDBusMessage call = QDBusMessage::createMethodCall(node.service, node.path.path(), kAccessible, "GetRoleName");
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().toString();
}

QString AccessibilityTree::text(const Node& node) const {
    QDBusMessage call =
        QDBusMessage::createMethodCall(node.service, node.path.path(), "org.a11y.atspi.Text", "GetText");
    call << 0 << -1;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().toString();
}

bool AccessibilityTree::hasState(const Node& node, int state) const {
    QDBusMessage call = QDBusMessage::createMethodCall(node.service, node.path.path(), kAccessible, "GetState");
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    const auto words = qdbus_cast<QList<uint>>(reply.arguments().first());
    const int word = state / 32;
    return word < words.size() && (words[word] >> (state % 32) & 1u) != 0;
}

QRect AccessibilityTree::extents(const Node& node) const {
    QDBusMessage call = QDBusMessage::createMethodCall(node.service, node.path.path(), "org.a11y.atspi.Component",
                                                       "GetExtents");
    call << uint(0);  // screen coordinates
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    const auto extents = qdbus_cast<Extents>(reply.arguments().first());
    return {extents.x, extents.y, extents.width, extents.height};
}

}  // namespace corvane::app::testing
