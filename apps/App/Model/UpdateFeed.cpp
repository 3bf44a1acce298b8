#include "UpdateFeed.hpp"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>

#include "Updates/UpdateSignature.hpp"

namespace corvane::app::UpdateFeed {

namespace {

[[noreturn]] void refuse(const std::string& what) { throw FeedError("The update feed is not valid: " + what + "."); }

QString text(const QJsonObject& feed, const char* key) {
    const QJsonValue value = feed.value(key);
    if (!value.isString() || value.toString().trimmed().isEmpty()) refuse(std::string("“") + key + "” is missing");
    return value.toString();
}

qint64 length(const QJsonObject& feed) {
    const QJsonValue value = feed.value("length");
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number < 1 || number > double(updates::UpdateSignature::kMaxArchiveSize) ||
        number != static_cast<double>(static_cast<qint64>(number))) {
        refuse("“length” is not a size the app accepts");
    }
    return static_cast<qint64>(number);
}

}  // namespace

UpdateRelease parse(const QByteArray& json) {
    if (json.size() > kMaxFeedSize) refuse("it is too large");
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) refuse("it is not a JSON object");
    const QJsonObject feed = document.object();
    UpdateRelease release;
    release.version = text(feed, "version");
    release.build = text(feed, "build");
    release.releaseNotes = feed.value("releaseNotes").toString();
    release.archiveUrl = QUrl(text(feed, "url"), QUrl::StrictMode);
    if (!release.archiveUrl.isValid() || !isAllowedAddress(release.archiveUrl)) {
        refuse("“url” is not an HTTPS address");
    }
    release.length = length(feed);
    const auto signature = updates::UpdateSignature::signatureFromBase64(text(feed, "signature").toStdString());
    if (!signature) refuse("“signature” is not a signature");
    release.signature = QByteArray(reinterpret_cast<const char*>(signature->data()), qsizetype(signature->size()));
    return release;
}

bool isAllowedAddress(const QUrl& url) {
    if (url.scheme() == "https") return !url.host().isEmpty();
    return url.scheme() == "http" && QHostAddress(url.host()).isLoopback();
}

}  // namespace corvane::app::UpdateFeed
