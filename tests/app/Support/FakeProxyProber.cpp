#include "FakeProxyProber.hpp"

#include "Model/MainThread.hpp"

namespace corvane::app::testing {

namespace {

class GivenUpOnDestruction final : public ProxyProber::Probe {
public:
    explicit GivenUpOnDestruction(std::shared_ptr<bool> givenUp) : givenUp_(std::move(givenUp)) {}
    ~GivenUpOnDestruction() override { *givenUp_ = true; }

private:
    std::shared_ptr<bool> givenUp_;
};

}  // namespace

std::unique_ptr<ProxyProber::Probe> FakeProxyProber::probe(const ProxyServer& proxy, const std::string& host,
                                                           std::uint16_t port, QObject* context,
                                                           std::function<void(Outcome)> done) {
    Probe probe{proxy, host, port, std::make_shared<bool>(false), {}};
    probe.finish = MainThread::bind<Outcome>(context, [givenUp = probe.givenUp, done = std::move(done)](Outcome o) {
        if (!*givenUp) done(std::move(o));
    });
    probes.push_back(probe);
    return std::make_unique<GivenUpOnDestruction>(probe.givenUp);
}

}  // namespace corvane::app::testing
