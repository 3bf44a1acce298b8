#pragma once

#include <stdexcept>

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "UpdateRelease.hpp"

// The update feed: a JSON object describing the newest release,
//   {"version": "1.1", "build": "7", "releaseNotes": "…",
//    "url": "https://…/Corvane-1.1.tar.gz", "length": 1234567,
//    "signature": "<base64 of the release's Ed25519 signature>"}
// The signature covers version, build and the archive's digest together (see
// UpdateSignature).
// Addresses must use HTTPS; plain HTTP is accepted only on this machine's
// loopback address.
namespace corvane::app::UpdateFeed {

// A feed larger than this is refused.
inline constexpr qint64 kMaxFeedSize = 64 * 1024;

// A feed that cannot be used; what() is the sentence the user sees.
class FeedError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws FeedError.
UpdateRelease parse(const QByteArray& json);
bool isAllowedAddress(const QUrl& url);

}  // namespace corvane::app::UpdateFeed
