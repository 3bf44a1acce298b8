#include "CorvaneCore/Support/JsonDecodeError.hpp"

namespace corvane {

namespace {

// A key below the first part is joined with a dot, an index directly.
std::string joined(std::string part, const std::string& below) {
    if (!below.empty() && below.front() != '[') part += '.';
    return part + below;
}

}  // namespace

void JsonDecodeError::enclose(std::string_view key) { path_ = joined(std::string(key), path_); }

void JsonDecodeError::enclose(std::size_t index) { path_ = joined("[" + std::to_string(index) + "]", path_); }

}  // namespace corvane
