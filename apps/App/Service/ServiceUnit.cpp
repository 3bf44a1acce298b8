#include "ServiceUnit.hpp"

namespace corvane::service::ServiceUnit {

std::string commandWord(const std::string& path) {
    std::string out = "\"";
    for (const char c : path) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '%') {
            out += "%%";
        } else if (c == '$') {
            out += "$$";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string text(const std::filesystem::path& daemon) {
    return "[Unit]\n"
           "Description=Corvane per-application traffic router\n"
           "After=network.target\n"
           "\n"
           "[Service]\n"
           "ExecStart=" + commandWord(daemon.string()) + "\n"
           "RuntimeDirectory=corvane\n"
           "StateDirectory=corvane\n"
           "Restart=on-failure\n"
           "CapabilityBoundingSet=CAP_NET_ADMIN CAP_SYS_PTRACE CAP_DAC_READ_SEARCH CAP_CHOWN\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

}  // namespace corvane::service::ServiceUnit
