#include "ProcessStatus.hpp"

#include "ProcessFiles.hpp"
#include "CorvaneCore/Support/StandardInteger.hpp"

#include <string>
#include <vector>

namespace corvane::platform {

namespace {

std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto start = text.find_first_not_of(" \t\n", pos);
        if (start == std::string_view::npos) break;
        auto end = text.find_first_of(" \t\n", start);
        if (end == std::string_view::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        pos = end;
    }
    return out;
}

}  // namespace

std::optional<std::uint64_t> ProcessStatus::startTimeFromStat(std::string_view statLine) {
    const auto close = statLine.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    // After ")" come field 3 (state) onwards, so field 22 is the 20th.
    const auto rest = fields(statLine.substr(close + 1));
    if (rest.size() < 20) return std::nullopt;
    return parseStandardInteger<std::uint64_t>(rest[19]);
}

std::optional<ProcessStatus::IdPair> ProcessStatus::idsFromStatus(std::string_view status,
                                                                   std::string_view key) {
    std::size_t pos = 0;
    while (pos < status.size()) {
        auto end = status.find('\n', pos);
        if (end == std::string_view::npos) end = status.size();
        const auto line = status.substr(pos, end - pos);
        pos = end + 1;
        if (!line.starts_with(key) || line.size() <= key.size() || line[key.size()] != ':') continue;
        const auto ids = fields(line.substr(key.size() + 1));
        if (ids.size() < 2) return std::nullopt;
        const auto real = parseStandardInteger<std::uint32_t>(ids[0]);
        const auto effective = parseStandardInteger<std::uint32_t>(ids[1]);
        if (!real || !effective) return std::nullopt;
        return IdPair{*real, *effective};
    }
    return std::nullopt;
}

std::optional<ProcessStatus> ProcessStatus::read(int pid) {
    if (pid < 1) return std::nullopt;
    const auto directory = procfs::processDirectory(pid);
    const auto status = procfs::readSmallFile(directory + "/status");
    const auto stat = procfs::readSmallFile(directory + "/stat");
    if (!status || !stat) return std::nullopt;
    const auto uids = idsFromStatus(*status, "Uid");
    const auto gids = idsFromStatus(*status, "Gid");
    const auto start = startTimeFromStat(*stat);
    if (!uids || !gids || !start) return std::nullopt;
    ProcessStatus result;
    result.realUid = uids->real;
    result.effectiveUid = uids->effective;
    result.realGid = gids->real;
    result.effectiveGid = gids->effective;
    result.startTime = *start;
    if (const auto login = procfs::readSmallFile(directory + "/loginuid")) {
        std::string_view text = *login;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
        if (const auto value = parseStandardInteger<std::uint32_t>(text)) result.loginUid = *value;
    }
    return result;
}

}  // namespace corvane::platform
