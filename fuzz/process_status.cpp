// The /proc/PID/stat and /proc/PID/status texts the daemon reads to tell who
// owns a connection. Any local user chooses the command name in them.
#include "FuzzCheck.hpp"
#include "platform/linux/ProcessStatus.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using corvane::platform::ProcessStatus;

namespace {

// The kernel's form of a stat line: the command name (at most 15 bytes, any
// but NUL) in parentheses, then the fields; the start time is field 22.
void checkCommandNameCannotMoveFields(std::string_view name) {
    std::string command(name.substr(0, 15));
    command.erase(std::remove(command.begin(), command.end(), '\0'), command.end());
    const std::string line = "4242 (" + command +
                             ") S 1 4242 4242 0 -1 4194560 1016 0 0 0 3 1 0 0 20 0 1 0 987654321 8192000 200 "
                             "18446744073709551615 1 1 0 0 0 0 0 4096 0 0 0 17 3 0 0 0 0 0\n";
    FUZZ_CHECK(ProcessStatus::startTimeFromStat(line) == 987654321u);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ProcessStatus::startTimeFromStat(text);
    for (const std::string_view key : {"Uid", "Gid"}) ProcessStatus::idsFromStatus(text, key);
    checkCommandNameCannotMoveFields(text);
    return 0;
}
