#pragma once

#include <map>
#include <mutex>
#include <string>
#include <variant>

#include "platform/ExecutablePathLookup.hpp"

namespace corvane::platform::testing {

// Executable paths per pid. A path is copied like readlink does (no terminating
// zero, at most the buffer's size, the count returned); a raw result is returned
// as it stands. An unknown pid gives -1.
class FakeExecutablePath : public ExecutablePathLookup {
public:
    void setPath(int pid, std::string path);
    void setResult(int pid, int result);
    int calls() const;

    int pidPath(int pid, char* buffer, std::size_t size) const override;

private:
    mutable std::mutex lock_;
    std::map<int, std::variant<std::string, int>> entries_;
    mutable int calls_ = 0;
};

}  // namespace corvane::platform::testing
