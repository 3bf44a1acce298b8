#include "CorvaneCore/DNS/DNSMessage.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using corvane::DNSMessage::typeA;
using corvane::DNSMessage::typeAAAA;
using corvane::DNSMessage::typeCNAME;

struct Writer {
    std::vector<std::uint8_t> bytes;
    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v >> 16));
        u16(static_cast<std::uint16_t>(v));
    }
    void name(std::initializer_list<std::string> labels) {
        for (const auto& label : labels) {
            u8(static_cast<std::uint8_t>(label.size()));
            bytes.insert(bytes.end(), label.begin(), label.end());
        }
        u8(0);
    }
    void record(std::uint16_t owner, std::uint16_t type, std::uint32_t ttl, std::uint16_t length) {
        u16(static_cast<std::uint16_t>(0xC000 | owner));
        u16(type);
        u16(1);
        u32(ttl);
        u16(length);
    }
};

// www.example.org is an alias of a CDN name with three IPv4 and two IPv6
// addresses, as a resolver answers it, with compression throughout.
std::vector<std::uint8_t> typicalAnswer() {
    Writer w;
    for (std::uint16_t v : {0x4A2Bu, 0x8180u, 1u, 6u, 0u, 0u}) w.u16(v);
    w.name({"www", "example", "org"});
    w.u16(typeA);
    w.u16(1);
    w.record(12, typeCNAME, 300, 29);  // the length of the name below
    const auto cdn = static_cast<std::uint16_t>(w.bytes.size());
    w.name({"www-example-org", "edgecdn", "net"});
    for (std::uint32_t i = 1; i <= 3; ++i) {
        w.record(cdn, typeA, 60, 4);
        w.u32(0xC6336400 + i);
    }
    for (std::uint32_t i = 1; i <= 2; ++i) {
        w.record(cdn, typeAAAA, 60, 16);
        w.u32(0x20010db8);
        w.u32(0x00000100);
        w.u32(0);
        w.u32(i);
    }
    return w.bytes;
}

void BM_DNSParseTypicalAnswer(benchmark::State& state) {
    const auto message = typicalAnswer();
    for (auto _ : state) {
        auto parsed = corvane::DNSMessage::parse(message);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * message.size()));
}
BENCHMARK(BM_DNSParseTypicalAnswer);

}  // namespace
