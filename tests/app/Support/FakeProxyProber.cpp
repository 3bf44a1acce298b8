#include "FakeProxyProber.hpp"

#include "Model/MainThread.hpp"

namespace corvane::app::testing {

void FakeProxyProber::probe(const ProxyServer& proxy, const std::string& host, std::uint16_t port, QObject* context,
                            std::function<void(Outcome)> done) {
    probes.push_back({proxy, host, port, MainThread::bind<Outcome>(context, std::move(done))});
}

}  // namespace corvane::app::testing
