#include "CorvaneCore/Logging/ConnectionGroup.hpp"

namespace corvane {
namespace {

constexpr const char* kSeparator = " \u00B7 ";

void appendCount(std::string& text, std::size_t count, const char* label) {
    if (count == 0) return;
    text += kSeparator + std::to_string(count) + label;
}

}  // namespace

std::string ConnectionGroup::subtitle() const {
    const std::size_t count = connectionCount();
    std::string text = std::to_string(count) + (count == 1 ? " connection" : " connections");
    appendCount(text, activeCount, " active");
    appendCount(text, blockedCount, " blocked");
    appendCount(text, failedCount, " failed");
    return text;
}

}  // namespace corvane
