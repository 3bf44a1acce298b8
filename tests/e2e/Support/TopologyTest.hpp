#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "Topology.hpp"

namespace corvane::e2e {

// A suite of tests that share one topology, built before the first test and
// removed after the last; every test skips with the reason when it cannot be
// built here (not root, a program missing).
class TopologyTest : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        skipReason() = Topology::missingRequirement();
        if (!skipReason().empty()) return;
        topology() = std::make_unique<Topology>();
        if (!topology()->ready) {
            skipReason() = "the network namespaces could not be set up";
            topology().reset();
        }
    }
    static void TearDownTestSuite() { topology().reset(); }

    void SetUp() override {
        if (!skipReason().empty()) GTEST_SKIP() << skipReason();
    }

protected:
    static std::string& skipReason() {
        static std::string reason;
        return reason;
    }
    static std::unique_ptr<Topology>& topology() {
        static std::unique_ptr<Topology> instance;
        return instance;
    }
};

}  // namespace corvane::e2e
