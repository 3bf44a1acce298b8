#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

// Small helpers of the end-to-end tests: commands, waiting, and the names of the
// two network namespaces of this test process.
namespace corvane::e2e {

// The names carry the pid, so that test processes running at once do not meet.
extern const std::string kHost;
extern const std::string kNet;

// Runs a shell command with its output discarded; its exit status.
int shell(const std::string& command);
// Runs a shell command; what it wrote on standard output.
std::string capture(const std::string& command);
bool have(const char* program);
// A file's whole content; empty when it cannot be read.
std::string readText(const std::filesystem::path& path);
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));
// Whether a TCP port in the test network accepts connections.
bool portOpen(const std::string& address, int port);

}  // namespace corvane::e2e
