#include "SimulatorPresenter.hpp"

#include "CorvaneCore/Engine/FlowDescriptor.hpp"
#include "CorvaneCore/Support/StandardInteger.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::app {

namespace {

SimulatorPresenter::Row::Result resultOf(const RuleEngine::RuleMatchResult& result) {
    using Result = SimulatorPresenter::Row::Result;
    if (std::holds_alternative<RuleEngine::RuleMatchResult::SkippedDisabled>(result.value())) return Result::disabled;
    return result.isMatch() ? Result::match : Result::noMatch;
}

}  // namespace

SimulatorPresenter::SimulatorPresenter(AppState& state, QObject* parent)
    : SimulatorPresenter(state, ProgramLookup(), parent) {}

SimulatorPresenter::SimulatorPresenter(AppState& state, ProgramLookup programs, QObject* parent)
    : QObject(parent), state_(state), programs_(std::move(programs)) {}

void SimulatorPresenter::setApplication(const QString& text) {
    if (text == application_) return;
    application_ = text;
    simulate();
}

void SimulatorPresenter::setHost(const QString& text) {
    if (text == host_) return;
    host_ = text;
    simulate();
}

void SimulatorPresenter::setPortText(const QString& text) {
    if (text == portText_) return;
    portText_ = text;
    simulate();
}

void SimulatorPresenter::setTransport(TransportProtocol transport) {
    if (transport == transport_) return;
    transport_ = transport;
    simulate();
}

std::optional<std::uint16_t> SimulatorPresenter::port(const QString& text) {
    const std::string utf8 = text.toStdString();
    return parseStandardInteger<std::uint16_t>(unicode::trimmed(utf8));
}

void SimulatorPresenter::simulate() {
    trace_.reset();
    const std::optional<std::uint16_t> portNumber = port(portText_);
    const std::string host = host_.toStdString();
    if (portNumber && !unicode::trimmed(host).empty()) {
        const FlowSource source = programs_.source(application_.toStdString(), state_.records());
        const FlowDescriptor flow = FlowDescriptor::of(source, host, *portNumber, transport_);
        trace_ = RuleEngine(state_.profile()).trace(flow);
    }
    emit traceChanged();
}

std::optional<SimulatorPresenter::Result> SimulatorPresenter::result() const {
    if (!trace_) return std::nullopt;
    return Result{banner(), rows(), defaultRow()};
}

SimulatorPresenter::Banner SimulatorPresenter::banner() const {
    const QString subtitle = trace_->matchedRule
                                 ? "via rule “" + QString::fromStdString(trace_->matchedRule->name) + "”"
                                 : QStringLiteral("via default action");
    return {trace_->action.kind(), label(trace_->action), subtitle};
}

std::vector<SimulatorPresenter::Row> SimulatorPresenter::rows() const {
    std::vector<Row> rows;
    if (!trace_) return rows;
    for (const RuleEngine::Trace::Step& step : trace_->steps) {
        rows.push_back({resultOf(step.result), QString::fromStdString(step.rule.name),
                        QString::fromStdString(step.result.reason()), step.isDecisive, label(step.rule.action)});
    }
    return rows;
}

std::optional<QString> SimulatorPresenter::defaultRow() const {
    if (!trace_ || !trace_->usedDefaultAction()) return std::nullopt;
    return "No rule matched — default action applied: " + label(trace_->action);
}

QString SimulatorPresenter::label(const RuleAction& action) const {
    return QString::fromStdString(state_.actionLabel(action));
}

}  // namespace corvane::app
