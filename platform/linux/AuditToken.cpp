#include "AuditToken.hpp"

#include "ProcessFiles.hpp"
#include "ProcessStatus.hpp"

#include <cstring>
#include <sys/stat.h>

namespace corvane::platform {

namespace {

std::uint64_t mix(std::uint64_t value) {
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdULL;
    value ^= value >> 33;
    value *= 0xc4ceb9fe1a85ec53ULL;
    value ^= value >> 33;
    return value;
}

}  // namespace

std::uint32_t AuditToken::word(std::span<const std::uint8_t, kSize> token, Word which) {
    std::uint32_t value = 0;
    std::memcpy(&value, token.data() + static_cast<std::size_t>(which) * 4, 4);
    return value;
}

void AuditToken::setWord(Bytes& token, Word which, std::uint32_t value) {
    std::memcpy(token.data() + static_cast<std::size_t>(which) * 4, &value, 4);
}

std::uint32_t AuditToken::executableIdentity(dev_t device, ino_t inode) {
    return static_cast<std::uint32_t>(mix(mix(static_cast<std::uint64_t>(device)) ^ static_cast<std::uint64_t>(inode)));
}

std::optional<std::uint32_t> AuditToken::currentExecutableIdentity(int pid) {
    struct stat info {};
    if (pid < 1 || ::stat((procfs::processDirectory(pid) + "/exe").c_str(), &info) != 0) return std::nullopt;
    return executableIdentity(info.st_dev, info.st_ino);
}

std::optional<AuditToken::Bytes> AuditToken::forProcess(int pid) {
    const auto status = ProcessStatus::read(pid);
    const auto identity = currentExecutableIdentity(pid);
    if (!status || !identity) return std::nullopt;
    Bytes token{};
    setWord(token, Word::loginUid, status->loginUid);
    setWord(token, Word::effectiveUid, status->effectiveUid);
    setWord(token, Word::effectiveGid, status->effectiveGid);
    setWord(token, Word::realUid, status->realUid);
    setWord(token, Word::realGid, status->realGid);
    setWord(token, Word::pid, static_cast<std::uint32_t>(pid));
    setWord(token, Word::executableIdentity, *identity);
    setWord(token, Word::startTime, static_cast<std::uint32_t>(status->startTime));
    return token;
}

}  // namespace corvane::platform
