#include "AccessibilityTree.hpp"

#include <utility>

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

// The first value of the reply to `call` on `bus` (2 s at most); an invalid
// one when the call failed or returned nothing.
QVariant firstValue(const QDBusConnection& bus, const QDBusMessage& call) {
    const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first();
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
    if (std::exchange(listener_->watching, true)) return;
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
    const QDBusMessage getAddress =
        QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
    const QString address = firstValue(session, getAddress).toString();
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

QVariant AccessibilityTree::query(const Node& node, const char* interface, const char* method,
                                  const QVariantList& arguments) const {
    QDBusMessage call = QDBusMessage::createMethodCall(node.service, node.path.path(), interface, method);
    call.setArguments(arguments);
    return firstValue(bus_, call);
}

std::vector<AccessibilityTree::Node> AccessibilityTree::children(const Node& node) const {
    std::vector<Node> nodes;
    for (const Reference& reference : qdbus_cast<QList<Reference>>(query(node, kAccessible, "GetChildren"))) {
        if (reference.path.path() != "/org/a11y/atspi/null") nodes.push_back({reference.service, reference.path});
    }
    return nodes;
}

QString AccessibilityTree::name(const Node& node) const {
    const QVariant name =
        query(node, "org.freedesktop.DBus.Properties", "Get", {QString(kAccessible), QString("Name")});
    return qdbus_cast<QDBusVariant>(name).variant().toString();
}

QString AccessibilityTree::roleName(const Node& node) const {
    return query(node, kAccessible, "GetRoleName").toString();
}

QString AccessibilityTree::text(const Node& node) const {
    return query(node, "org.a11y.atspi.Text", "GetText", {0, -1}).toString();
}

bool AccessibilityTree::hasState(const Node& node, int state) const {
    const auto words = qdbus_cast<QList<uint>>(query(node, kAccessible, "GetState"));
    const int word = state / 32;
    return word < words.size() && (words[word] >> (state % 32) & 1u) != 0;
}

QRect AccessibilityTree::extents(const Node& node) const {
    // In screen coordinates (0).
    const auto extents = qdbus_cast<Extents>(query(node, "org.a11y.atspi.Component", "GetExtents", {uint(0)}));
    return {extents.x, extents.y, extents.width, extents.height};
}

}  // namespace corvane::app::testing
