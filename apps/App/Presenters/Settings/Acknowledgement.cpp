#include "Acknowledgement.hpp"

#include <QFile>

#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::app {

namespace {

// Far above any licence text; a larger file is not one.
constexpr qint64 kMaxLicenceSize = 4 * 1024 * 1024;

Acknowledgement entry(QString name, QString purpose, QString url, QString resource) {
    return {QUuid::createUuid(), std::move(name), std::move(purpose), std::move(url), std::move(resource)};
}

}  // namespace

const std::vector<Acknowledgement>& Acknowledgement::all() {
    static const std::vector<Acknowledgement> entries{
        entry("Qt", "User interface and networking.", "https://www.qt.io/", "Qt"),
        entry("nlohmann/json", "Reads and writes profiles and connection records.",
              "https://github.com/nlohmann/json", "nlohmann-json"),
        entry("Asio", "Network connections of the proxy checks.", "https://think-async.com/Asio/", "Asio"),
        entry("ICU", "Unicode text handling.", "https://icu.unicode.org/", "ICU"),
        entry("OpenSSL", "Checks the signatures of updates.", "https://www.openssl.org/", "OpenSSL"),
    };
    return entries;
}

QString Acknowledgement::licenceText(const QString& folder) const {
    QFile file(folder + "/" + licenceResource + ".txt");
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxLicenceSize) return missingTextMessage();
    const QByteArray bytes = file.read(kMaxLicenceSize + 1);
    const bool readFailed = file.error() != QFileDevice::NoError || bytes.size() > kMaxLicenceSize;
    if (readFailed || !unicode::isValidUTF8(std::string_view(bytes.constData(), bytes.size()))) {
        return missingTextMessage();
    }
    return QString::fromUtf8(bytes);
}

QString Acknowledgement::missingTextMessage() const {
    return "The licence text for " + name +
           " is missing from this build.\n\nThis is a packaging fault, not a licensing one — " + name +
           " is used under its own terms, available at " + url + ".";
}

}  // namespace corvane::app
