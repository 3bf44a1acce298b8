#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>

#include "CorvaneCore/Engine/RuleEngine.hpp"
#include "Model/AppState.hpp"
#include "Model/ProgramLookup.hpp"

namespace corvane::app {

// The rule simulator without its widgets: the hypothetical connection's
// fields, and the rule engine's trace of it over the model's profile,
// recomputed when the page appears and on every field change (not when the
// profile changes meanwhile). The application field names a program, which
// is matched as the daemon would match its flows (ProgramLookup), so an
// unverified program's claimed name is not trusted here either.
class SimulatorPresenter : public QObject {
    Q_OBJECT

public:
    // A reserved example domain, and the host field's prompt.
    static constexpr const char* kInitialHost = "example.com";
    static constexpr const char* kHostPrompt = "api.example.com or 10.0.0.5";

    struct Banner {
        RuleAction::Kind kind;
        QString label;     // the action's label
        QString subtitle;  // "via rule “name”" or "via default action"

        friend bool operator==(const Banner&, const Banner&) = default;
    };
    struct Row {
        enum class Result { match, noMatch, disabled };
        Result result;
        QString ruleName;
        QString reason;
        bool isDecisive = false;
        QString actionLabel;  // the badge of the decisive row

        friend bool operator==(const Row&, const Row&) = default;
    };
    // Everything the result area shows; none without a trace.
    struct Result {
        Banner banner;
        std::vector<Row> rows;
        std::optional<QString> defaultRow;

        friend bool operator==(const Result&, const Result&) = default;
    };

    explicit SimulatorPresenter(AppState& state, QObject* parent = nullptr);
    SimulatorPresenter(AppState& state, ProgramLookup programs, QObject* parent = nullptr);

    const QString& application() const { return application_; }
    const QString& host() const { return host_; }
    const QString& portText() const { return portText_; }
    TransportProtocol transport() const { return transport_; }
    void setApplication(const QString& text);
    void setHost(const QString& text);
    void setPortText(const QString& text);
    void setTransport(TransportProtocol transport);

    // Recomputes the trace; the page calls it when it appears.
    void simulate();
    const std::optional<RuleEngine::Trace>& trace() const { return trace_; }

    // The port field read as a port: trimmed of spaces and tabs, then digits
    // with an optional sign, at most 65535.
    static std::optional<std::uint16_t> port(const QString& text);

    std::optional<Result> result() const;
    // Only with a trace.
    Banner banner() const;
    std::vector<Row> rows() const;
    // "No rule matched — default action applied: " + label, when no rule decided.
    std::optional<QString> defaultRow() const;

signals:
    void traceChanged();

private:
    QString label(const RuleAction& action) const;

    AppState& state_;
    ProgramLookup programs_;
    QString application_;
    QString host_ = kInitialHost;
    QString portText_ = "443";
    TransportProtocol transport_ = TransportProtocol::tcp;
    std::optional<RuleEngine::Trace> trace_;
};

}  // namespace corvane::app
