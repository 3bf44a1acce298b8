#include "CorvaneCore/Engine/RuleEngine.hpp"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace corvane;

// N rules with application, host-glob, network and port patterns; only the
// last one matches the flow. Unkeyed, every glob starts or ends with a
// wildcard, so the engine's index cannot tell any rule apart and every rule
// is tried.
Profile profileWithRules(int count, bool keyed = true) {
    Profile profile;
    const std::string lead = keyed ? "" : "*";
    const std::string trail = keyed ? "" : "*";
    for (int i = 0; i + 1 < count; ++i) {
        const std::string n = std::to_string(i);
        Rule rule;
        rule.id = UUID::random();
        rule.name = "Service " + n;
        rule.applications = {lead + "com.vendor" + n + ".*", lead + "/opt/vendor" + n + "/bin/*"};
        rule.hosts = {"*.service" + n + ".example" + trail, "service" + n + "-api-?.example.net" + trail,
                      "10." + std::to_string(i % 256) + ".0.0/16", "2001:db8:" + std::to_string(i) + "::/48"};
        rule.ports = {PortRange(443), PortRange(8000, 8999)};
        rule.matchMode = i % 2 == 0 ? RuleMatchMode::all : RuleMatchMode::any;
        rule.action = RuleAction::proxy(UUID::random());
        profile.rules.push_back(rule);
    }
    Rule last;
    last.id = UUID::random();
    last.name = "Browser";
    last.applications = {"org.example.*"};
    last.hosts = {"*.target.example", "203.0.113.0/24"};
    last.ports = {PortRange(443)};
    last.transports = {TransportProtocol::tcp};
    last.action = RuleAction::block();
    profile.rules.push_back(last);
    return profile;
}

FlowDescriptor browserFlow() {
    CodeIdentity identity;
    identity.isValid = true;
    return FlowDescriptor{.appIdentifier = "org.example.browser",
                          .appPath = "/usr/bin/browser",
                          .appIdentity = identity,
                          .remoteHostname = "api.target.example",
                          .remoteAddress = IPAddressValue::fromString("203.0.113.7"),
                          .remotePort = 443,
                          .transport = TransportProtocol::tcp};
}

void BM_RuleEngineVerdict(benchmark::State& state) {
    const RuleEngine engine(profileWithRules(static_cast<int>(state.range(0))));
    const FlowDescriptor flow = browserFlow();
    for (auto _ : state) {
        auto verdict = engine.verdict(flow);
        benchmark::DoNotOptimize(verdict);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));  // rules tried
}
BENCHMARK(BM_RuleEngineVerdict)->Arg(10)->Arg(100)->Arg(1000);

void BM_RuleEngineVerdictUnkeyed(benchmark::State& state) {
    const RuleEngine engine(profileWithRules(static_cast<int>(state.range(0)), false));
    const FlowDescriptor flow = browserFlow();
    for (auto _ : state) {
        auto verdict = engine.verdict(flow);
        benchmark::DoNotOptimize(verdict);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));  // rules tried
}
BENCHMARK(BM_RuleEngineVerdictUnkeyed)->Arg(10)->Arg(100)->Arg(1000);

void BM_RuleEngineTrace(benchmark::State& state) {
    const RuleEngine engine(profileWithRules(static_cast<int>(state.range(0))));
    const FlowDescriptor flow = browserFlow();
    for (auto _ : state) {
        auto trace = engine.trace(flow);
        benchmark::DoNotOptimize(trace);
    }
}
BENCHMARK(BM_RuleEngineTrace)->Arg(10)->Arg(100);

}  // namespace
