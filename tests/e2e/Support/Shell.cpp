#include "Shell.hpp"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

namespace corvane::e2e {

const std::string kHost = "cvt-host-" + std::to_string(::getpid());
const std::string kNet = "cvt-net-" + std::to_string(::getpid());

int shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), got);
    ::pclose(pipe);
    return out;
}

bool have(const char* program) { return shell(std::string("command -v ") + program) == 0; }

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool portOpen(const std::string& address, int port) {
    return shell(std::string("ip netns exec ") + kNet + " bash -c 'exec 3<>/dev/tcp/" + address + "/" +
                 std::to_string(port) + "'") == 0;
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace corvane::e2e
