#include "Updater.hpp"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>

#include "Shared/AppIdentifiers.hpp"
#include "UpdateFeed.hpp"
#include "Updates/ReleaseOrder.hpp"
#include "Updates/UpdateError.hpp"
#include "Updates/UpdateSignature.hpp"

namespace corvane::app {

using platform::LogArg;
using Stage = UpdateSession::Stage;

namespace {

// What the network layer may read ahead of the updater; beyond it the server
// waits, so a transfer the updater has let go of cannot run on unseen.
constexpr qint64 kReadBufferSize = 1024 * 1024;

QString key(const char* name) { return QString(Updater::kSettingsGroup) + "/" + name; }

QNetworkRequest request(const QUrl& url, std::chrono::milliseconds timeout) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    return request;
}

bool signatureMatches(const QString& path, const UpdateRelease& release,
                      const std::optional<updates::UpdateSignature::PublicKey>& key) {
    updates::UpdateSignature::Signature sig{};
    if (!key || release.signature.size() != qsizetype(sig.size())) return false;
    std::copy(release.signature.begin(), release.signature.end(), sig.begin());
    return updates::UpdateSignature::verifyRelease(path.toStdString(), release.version.toStdString(),
                                                   release.build.toStdString(), sig, *key);
}

QString lengthMismatch(qint64 received, qint64 expected) {
    return QString("The download has %1 bytes, but the update feed says %2; it was refused.")
        .arg(received)
        .arg(expected);
}

}  // namespace

Updater::Updater(Settings settings, Dependencies dependencies, QObject* parent)
    : QObject(parent),
      settings_(std::move(settings)),
      deps_(std::move(dependencies)),
      log_(std::string(AppIdentifiers::appIdentifier), "updater"),
      network_(new QNetworkAccessManager(this)),
      progress_(deps_.scheduler, kProgressInterval, [this] { emit sessionChanged(); }) {}

Updater::~Updater() { dropTransfer(); }

void Updater::start() {
    if (started_) return;
    started_ = true;
    setCanCheck(true);
    planAutomaticCheck();
}

bool Updater::automaticallyChecksForUpdates() const { return deps_.settings.value(key(kAutomaticKey), false).toBool(); }

void Updater::setAutomaticallyChecksForUpdates(bool on) {
    if (on == automaticallyChecksForUpdates()) return;
    deps_.settings.setValue(key(kAutomaticKey), on);
    emit automaticallyChecksForUpdatesChanged(on);
    planAutomaticCheck();
}

std::optional<QDateTime> Updater::lastUpdateCheckDate() const {
    const QDateTime date = deps_.settings.value(key(kLastCheckKey)).toDateTime();
    if (!date.isValid()) return std::nullopt;
    return date;
}

void Updater::checkForUpdates() {
    if (canCheck_) check(true);
}

void Updater::check(bool userInitiated) {
    automaticCheck_.reset();
    lastAttempt_ = now();
    setCanCheck(false);
    setSession({Stage::checking, userInitiated, std::nullopt, 0, {}});
    if (!UpdateFeed::isAllowedAddress(settings_.feedUrl)) {
        return fail("The update feed’s address is not an HTTPS address.");
    }
    reply_ = network_->get(request(settings_.feedUrl, settings_.transferTimeout));
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > UpdateFeed::kMaxFeedSize) fail("The update feed is not valid: it is too large.");
    });
    connect(reply_, &QNetworkReply::finished, this, &Updater::feedFinished);
}

void Updater::feedFinished() {
    QNetworkReply* reply = reply_;
    reply_.clear();
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) return fail(describeFailure(*reply));
    UpdateRelease release;
    try {
        release = UpdateFeed::parse(reply->readAll());
    } catch (const UpdateFeed::FeedError& e) {
        return fail(QString::fromStdString(e.what()));
    }
    setLastCheck(now());
    if (updates::ReleaseOrder::isNewer(release.build.toStdString(), settings_.currentBuild.toStdString())) {
        return setSession({Stage::updateFound, session_.userInitiated, release, 0, {}});
    }
    if (!session_.userInitiated) return endSession();
    setSession({Stage::upToDate, true, release, 0, {}});
}

void Updater::installUpdate() {
    if (session_.stage != Stage::updateFound) return;
    if (const auto refusal = deps_.installer.refusal()) return fail(QString::fromStdString(*refusal));
    archive_ = std::make_unique<QTemporaryFile>(QDir::temp().filePath("corvane-update-XXXXXX.tar.gz"));
    if (!archive_->open()) return fail("Could not store the download: " + archive_->errorString() + ".");
    UpdateSession downloading = session_;
    downloading.stage = Stage::downloading;
    setSession(downloading);
    reply_ = network_->get(request(session_.release->archiveUrl, settings_.transferTimeout));
    reply_->setReadBufferSize(kReadBufferSize);
    connect(reply_, &QNetworkReply::readyRead, this, &Updater::archiveArrived);
    connect(reply_, &QNetworkReply::finished, this, &Updater::archiveFinished);
}

void Updater::archiveArrived() {
    // An error page is no part of the archive: the transfer ends at once, as
    // nothing bounds what such a page may still send.
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300) return fail(answeredText(*reply_));
    const qint64 expected = session_.release->length;
    const QVariant announced = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() != expected) {
        return fail(lengthMismatch(announced.toLongLong(), expected));
    }
    const QByteArray chunk = reply_->readAll();
    if (session_.received + chunk.size() > expected) {
        return fail(QString("The download is larger than the %1 bytes the update feed says; it was refused.")
                        .arg(expected));
    }
    if (archive_->write(chunk) != chunk.size()) {
        return fail("Could not store the download: " + archive_->errorString() + ".");
    }
    session_.received += chunk.size();
    progress_.report();
}

void Updater::archiveFinished() {
    QNetworkReply* reply = reply_;
    if (!reply) return;
    if (reply->error() == QNetworkReply::NoError && reply->bytesAvailable() > 0) archiveArrived();
    progress_.flush();
    if (session_.stage != Stage::downloading) return;
    reply_.clear();
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) return fail(describeFailure(*reply));
    const UpdateRelease& release = *session_.release;
    if (session_.received != release.length) {
        return fail(lengthMismatch(session_.received, release.length));
    }
    archive_->flush();
    if (!signatureMatches(archive_->fileName(), release, settings_.publicKey)) {
        return fail(updates::kNotSignedText);
    }
    UpdateSession installing = session_;
    installing.stage = Stage::installing;
    setSession(installing);
    deps_.installer.install(archive_->fileName().toStdString(), release, this,
                            [this](std::optional<std::string> failure) { installed(failure); });
}

void Updater::installed(const std::optional<std::string>& failure) {
    archive_.reset();
    if (failure) return fail(QString::fromStdString(*failure));
    UpdateSession done = session_;
    done.stage = Stage::installed;
    setSession(done);
}

void Updater::dismiss() {
    if (session_.stage == Stage::idle || session_.stage == Stage::installing) return;
    endSession();
}

void Updater::relaunch() {
    if (session_.stage != Stage::installed) return;
    if (!deps_.installer.relaunch()) return fail("Could not start the new version of Corvane.");
    endSession();
    emit quitRequested();
}

void Updater::fail(const QString& error) {
    const bool userInitiated = session_.userInitiated || session_.stage != Stage::checking;
    dropTransfer();
    if (!userInitiated) {
        log_.error("Automatic update check failed: %{public}s", {LogArg::publicText(error.toStdString())});
        return endSession();
    }
    UpdateSession failed = session_;
    failed.stage = Stage::failed;
    failed.error = error;
    setSession(failed);
}

void Updater::dropTransfer() {
    if (QNetworkReply* reply = reply_) {
        reply_.clear();
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    archive_.reset();
}

void Updater::endSession() {
    dropTransfer();
    setSession({});
    setCanCheck(started_);
    planAutomaticCheck();
}

void Updater::setSession(UpdateSession session) {
    session_ = std::move(session);
    progress_.reset();
    emit sessionChanged();
}

void Updater::setCanCheck(bool canCheck) {
    if (canCheck == canCheck_) return;
    canCheck_ = canCheck;
    emit canCheckForUpdatesChanged(canCheck);
}

void Updater::setLastCheck(QDateTime date) {
    deps_.settings.setValue(key(kLastCheckKey), date);
    emit lastUpdateCheckDateChanged();
}

void Updater::planAutomaticCheck() {
    automaticCheck_.reset();
    if (!started_ || !automaticallyChecksForUpdates() || session_.stage != Stage::idle) return;
    QDateTime due = now();
    if (const auto last = lastUpdateCheckDate()) {
        due = std::max(due, last->addSecs(std::chrono::seconds(settings_.checkInterval).count()));
    }
    if (lastAttempt_) due = std::max(due, lastAttempt_->addSecs(std::chrono::seconds(settings_.retryInterval).count()));
    const auto delay = std::chrono::milliseconds(std::max<qint64>(0, now().msecsTo(due)));
    // The check runs after the scheduler's call has returned, since it replaces that call.
    automaticCheck_ = deps_.scheduler.schedule(delay, [this] {
        QMetaObject::invokeMethod(this, [this] {
            if (canCheck_) check(false);
        }, Qt::QueuedConnection);
    });
}

QDateTime Updater::now() const {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(deps_.clock().unixTime() * 1000), Qt::UTC);
}

QString Updater::describeFailure(QNetworkReply& reply) const {
    if (reply.error() == QNetworkReply::OperationCanceledError || reply.error() == QNetworkReply::TimeoutError) {
        return "The update server did not answer in time.";
    }
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400) return answeredText(reply);
    return "Could not reach the update server: " + reply.errorString() + ".";
}

QString Updater::answeredText(QNetworkReply& reply) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString reason = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    return QString("The update server answered %1 %2").arg(status).arg(reason).trimmed() + ".";
}

}  // namespace corvane::app
