#include "platform/testing/FakeExecutablePath.hpp"

#include <algorithm>
#include <cstring>

namespace corvane::platform::testing {

void FakeExecutablePath::setPath(int pid, std::string path) {
    std::lock_guard guard(lock_);
    entries_[pid] = std::move(path);
}

void FakeExecutablePath::setResult(int pid, int result) {
    std::lock_guard guard(lock_);
    entries_[pid] = result;
}

int FakeExecutablePath::calls() const {
    std::lock_guard guard(lock_);
    return calls_;
}

int FakeExecutablePath::pidPath(int pid, char* buffer, std::size_t size) const {
    std::lock_guard guard(lock_);
    ++calls_;
    auto it = entries_.find(pid);
    if (it == entries_.end()) return -1;
    if (const int* result = std::get_if<int>(&it->second)) return *result;
    const auto& path = std::get<std::string>(it->second);
    std::size_t count = std::min(path.size(), size);
    std::memcpy(buffer, path.data(), count);
    return static_cast<int>(count);
}

}  // namespace corvane::platform::testing
