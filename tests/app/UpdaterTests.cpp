// The updater against a feed and archives served on 127.0.0.1, signed with a
// key made for the test.
#include <QCryptographicHash>
#include <QLocale>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "Model/UpdateFeed.hpp"
#include "Model/Updater.hpp"
#include "Model/UpdaterController.hpp"
#include "Support/FakeUpdateInstaller.hpp"
#include "Support/LoopbackHttpServer.hpp"
#include "Support/ModelFixture.hpp"
#include "Support/QtPrinters.hpp"
#include "Support/TestSigningKey.hpp"
#include "Updates/ReleaseOrder.hpp"
#include "Updates/UpdateSignature.hpp"

namespace corvane::app::testing {
namespace {

using Stage = UpdateSession::Stage;
using namespace std::chrono_literals;

const QByteArray kArchive = QByteArray("release archive bytes ").repeated(5000);

template <std::size_t N>
QByteArray bytes(const std::array<std::uint8_t, N>& array) {
    return QByteArray(reinterpret_cast<const char*>(array.data()), qsizetype(N));
}

QByteArray signedBy(const TestSigningKey& key, const QByteArray& message) {
    return bytes(key.sign(std::string_view(message.constData(), std::size_t(message.size()))));
}

// The release signature of version 1.1, build `build`, with `archive`.
QByteArray releaseSignedBy(const TestSigningKey& key, const QByteArray& archive, const std::string& build = "2") {
    const QByteArray digest = QCryptographicHash::hash(archive, QCryptographicHash::Sha256).toHex();
    const auto message = updates::UpdateSignature::releaseMessage("1.1", build, digest.toStdString());
    return signedBy(key, QByteArray::fromStdString(*message));
}

class UpdaterTest : public ModelFixture {
public:
    LoopbackHttpServer server;
    TestSigningKey key;
    QTemporaryDir settingsFolder;
    QSettings settings{settingsFolder.filePath("settings.ini"), QSettings::IniFormat};
    FakeUpdateInstaller installer;
    std::unique_ptr<Updater> updater = makeUpdater();

    std::unique_ptr<Updater> makeUpdater() {
        Updater::Settings values{server.url("/feed.json"), key.publicKey(), "1", 400ms};
        return std::make_unique<Updater>(values, Updater::Dependencies{settings, installer, scheduler, clock.clock()});
    }

    QByteArray feed(const QString& build, qint64 length, const QByteArray& signature,
                    const QString& url = {}) {
        return QString(R"({"version": "1.1", "build": "%1", "releaseNotes": "Faster.\nSmaller.",
                          "url": "%2", "length": %3, "signature": "%4"})")
            .arg(build, url.isEmpty() ? server.url("/Corvane-1.1.tar.gz").toString() : url)
            .arg(length)
            .arg(QString(signature.toBase64()))
            .toUtf8();
    }
    void offer(const QByteArray& archive, const QByteArray& signature, qint64 length) {
        server.serve("/feed.json", feed("2", length, signature));
        server.serve("/Corvane-1.1.tar.gz", archive);
    }
    Stage stage() const { return updater->session().stage; }
    bool reach(Stage wanted) {
        return waitUntil([&] { return stage() == wanted || stage() == Stage::failed; }, 5s) && stage() == wanted;
    }
    QString error() const { return updater->session().error; }
    // Checks, and installs what was found.
    void checkAndInstall() {
        updater->start();
        updater->checkForUpdates();
        ASSERT_TRUE(reach(Stage::updateFound)) << error().toStdString();
        updater->installUpdate();
    }
};

TEST_F(UpdaterTest, UpToDateWhenTheFeedHasNoNewerBuild) {
    server.serve("/feed.json", feed("1", 10, QByteArray(64, 1)));
    QSignalSpy canCheck(updater.get(), &Updater::canCheckForUpdatesChanged);
    EXPECT_FALSE(updater->canCheckForUpdates()) << "before start";
    updater->start();
    EXPECT_TRUE(updater->canCheckForUpdates());
    EXPECT_EQ(updater->lastUpdateCheckDate(), std::nullopt);

    updater->checkForUpdates();
    EXPECT_EQ(stage(), Stage::checking);
    EXPECT_FALSE(updater->canCheckForUpdates());
    ASSERT_TRUE(reach(Stage::upToDate)) << error().toStdString();
    EXPECT_FALSE(updater->canCheckForUpdates()) << "while its answer shows";
    EXPECT_EQ(updater->lastUpdateCheckDate(), QDateTime::fromSecsSinceEpoch(978307200 + 1000, Qt::UTC));
    updater->dismiss();
    EXPECT_EQ(stage(), Stage::idle);
    EXPECT_TRUE(updater->canCheckForUpdates());
    EXPECT_EQ(canCheck.count(), 3);
    EXPECT_EQ(server.requests(), (std::vector<QString>{"/feed.json"}));
}

TEST_F(UpdaterTest, ANewerBuildIsDownloadedVerifiedInstalledAndRelaunched) {
    offer(kArchive, releaseSignedBy(key, kArchive), kArchive.size());
    QSignalSpy quit(updater.get(), &Updater::quitRequested);
    updater->start();
    updater->checkForUpdates();
    ASSERT_TRUE(reach(Stage::updateFound)) << error().toStdString();
    const UpdateRelease release = *updater->session().release;
    EXPECT_EQ(release.version, "1.1");
    EXPECT_EQ(release.build, "2");
    EXPECT_EQ(release.releaseNotes, "Faster.\nSmaller.");
    EXPECT_EQ(release.length, kArchive.size());

    qint64 lastProgress = 0;
    bool progressed = true;
    QObject::connect(updater.get(), &Updater::sessionChanged, [&] {
        if (stage() != Stage::downloading) return;
        progressed = progressed && updater->session().received >= lastProgress;
        lastProgress = updater->session().received;
    });
    updater->installUpdate();
    ASSERT_TRUE(reach(Stage::installed)) << error().toStdString();
    EXPECT_TRUE(progressed);
    EXPECT_EQ(lastProgress, kArchive.size());
    ASSERT_EQ(installer.installs.size(), 1u);
    EXPECT_EQ(installer.installs[0].content, kArchive);
    EXPECT_EQ(installer.installs[0].release, release);
    EXPECT_FALSE(std::filesystem::exists(installer.installs[0].archive)) << "the download is removed";

    updater->relaunch();
    EXPECT_EQ(installer.relaunches, 1);
    EXPECT_EQ(quit.count(), 1);
    EXPECT_EQ(stage(), Stage::idle);
}

// The network hands the updater at most 1 MiB at a time, so this archive
// comes in at least five chunks; the progress shows far fewer times.
TEST_F(UpdaterTest, ADownloadShowsItsProgressOnceAnIntervalAndAlwaysItsLastCount) {
    const QByteArray archive = QByteArray("many chunks ").repeated(400000);
    std::vector<qint64> shown;
    QObject::connect(updater.get(), &Updater::sessionChanged, [&] {
        if (stage() == Stage::downloading) shown.push_back(updater->session().received);
    });

    server.serve("/feed.json", feed("2", archive.size(), releaseSignedBy(key, archive)));
    server.serve("/Corvane-1.1.tar.gz", {200, archive, archive.size(), false, 3000000});
    checkAndInstall();
    ASSERT_TRUE(waitUntil([&] { return updater->session().received == 3000000; }));
    EXPECT_EQ(shown.size(), 2u) << "the start and the first chunk";
    scheduler.advance(Updater::kProgressInterval);
    EXPECT_EQ(shown.back(), 3000000) << "a stalled download shows where it stands";
    updater->dismiss();

    shown.clear();
    offer(archive, releaseSignedBy(key, archive), archive.size());
    updater->checkForUpdates();
    ASSERT_TRUE(reach(Stage::updateFound)) << error().toStdString();
    updater->installUpdate();
    ASSERT_TRUE(reach(Stage::installed)) << error().toStdString();
    ASSERT_EQ(shown.size(), 3u) << "the start, the first chunk and the whole";
    EXPECT_EQ(shown.front(), 0);
    EXPECT_EQ(shown.back(), archive.size());
    ASSERT_EQ(installer.installs.size(), 1u);
    EXPECT_EQ(installer.installs[0].content, archive);
}

TEST_F(UpdaterTest, ARelaunchThatFailsSaysSoAndTheAppStays) {
    installer.relaunchWorks = false;
    offer(kArchive, releaseSignedBy(key, kArchive), kArchive.size());
    QSignalSpy quit(updater.get(), &Updater::quitRequested);
    checkAndInstall();
    ASSERT_TRUE(reach(Stage::installed)) << error().toStdString();
    updater->relaunch();
    EXPECT_EQ(installer.relaunches, 1);
    EXPECT_EQ(quit.count(), 0);
    EXPECT_EQ(stage(), Stage::failed);
    EXPECT_EQ(error(), "Could not start the new version of Corvane.");
    updater->dismiss();
    EXPECT_TRUE(updater->canCheckForUpdates());
}

struct RefusedCase {
    const char* name;
    std::function<void(UpdaterTest&)> serve;
    const char* error;
};

TEST_F(UpdaterTest, ABadArchiveIsRefusedAndNeverInstalled) {
    const std::vector<RefusedCase> cases{
        {"signed with another key",
         [](UpdaterTest& t) {
             TestSigningKey other;
             t.offer(kArchive, releaseSignedBy(other, kArchive), kArchive.size());
         },
         "The update is not signed with Corvane’s key, so it was refused."},
        {"changed after signing",
         [](UpdaterTest& t) {
             QByteArray changed = kArchive;
             changed[100] = 'X';
             t.offer(changed, releaseSignedBy(t.key, kArchive), kArchive.size());
         },
         "The update is not signed with Corvane’s key, so it was refused."},
        {"the archive's bytes alone signed",
         [](UpdaterTest& t) { t.offer(kArchive, signedBy(t.key, kArchive), kArchive.size()); },
         "The update is not signed with Corvane’s key, so it was refused."},
        {"an older build's release offered as newer",
         [](UpdaterTest& t) { t.offer(kArchive, releaseSignedBy(t.key, kArchive, "1"), kArchive.size()); },
         "The update is not signed with Corvane’s key, so it was refused."},
        {"longer than announced in the feed",
         [](UpdaterTest& t) { t.offer(kArchive, releaseSignedBy(t.key, kArchive), kArchive.size() - 1); },
         "The download has 110000 bytes, but the update feed says 109999; it was refused."},
        {"shorter than announced in the feed",
         [](UpdaterTest& t) { t.offer(kArchive, releaseSignedBy(t.key, kArchive), kArchive.size() + 1); },
         "The download has 110000 bytes, but the update feed says 110001; it was refused."},
        {"longer, with no length header",
         [](UpdaterTest& t) {
             t.server.serve("/feed.json", t.feed("2", 1000, releaseSignedBy(t.key, kArchive)));
             t.server.serve("/Corvane-1.1.tar.gz", {200, kArchive, std::nullopt, false, std::nullopt});
         },
         "The download is larger than the 1000 bytes the update feed says; it was refused."},
        {"shorter, with no length header",
         [](UpdaterTest& t) {
             t.server.serve("/feed.json", t.feed("2", kArchive.size() + 5, releaseSignedBy(t.key, kArchive)));
             t.server.serve("/Corvane-1.1.tar.gz", {200, kArchive, std::nullopt, false, std::nullopt});
         },
         "The download has 110000 bytes, but the update feed says 110005; it was refused."},
        {"missing on the server",
         [](UpdaterTest& t) {
             t.server.serve("/feed.json", t.feed("2", 10, QByteArray(64, 1)));
             t.server.serve("/Corvane-1.1.tar.gz", {404, "gone", 4, false, std::nullopt});
         },
         "The update server answered 404 Not Found."},
        {"never sent (time-out)",
         [](UpdaterTest& t) {
             t.server.serve("/feed.json", t.feed("2", kArchive.size(), releaseSignedBy(t.key, kArchive)));
             t.server.serve("/Corvane-1.1.tar.gz", {200, kArchive, kArchive.size(), false, 5000});
         },
         "The update server did not answer in time."},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        updater = makeUpdater();
        c.serve(*this);
        checkAndInstall();
        ASSERT_TRUE(reach(Stage::failed));
        EXPECT_EQ(error().toStdString(), c.error);
        EXPECT_TRUE(installer.installs.empty());
        EXPECT_FALSE(updater->canCheckForUpdates());
        updater->dismiss();
        EXPECT_TRUE(updater->canCheckForUpdates());
    }
}

// A server that never stops sending is cut off at once: an error page at its
// status, an archive as soon as it passes the feed's length.
TEST_F(UpdaterTest, AnEndlessResponseIsCutOff) {
    const QByteArray chunk(64 * 1024, 'x');
    const std::vector<std::pair<int, const char*>> cases{
        {404, "The update server answered 404 Not Found."},
        {500, "The update server answered 500 Internal Server Error."},
        {200, "The download is larger than the 1000000 bytes the update feed says; it was refused."},
    };
    for (const auto& [status, text] : cases) {
        SCOPED_TRACE(status);
        updater = makeUpdater();
        server.serve("/feed.json", feed("2", 1000000, releaseSignedBy(key, kArchive)));
        server.serve("/Corvane-1.1.tar.gz", {status, chunk, std::nullopt, false, std::nullopt, true});
        const qint64 before = server.sentBytes();
        checkAndInstall();
        ASSERT_TRUE(reach(Stage::failed));
        EXPECT_EQ(error().toStdString(), text);
        EXPECT_LT(server.sentBytes() - before, 64 * 1024 * 1024);
        // What the sockets held when it stopped may still leave; then nothing.
        waitUntil([] { return false; }, 200ms);
        const qint64 settled = server.sentBytes();
        waitUntil([] { return false; }, 300ms);
        EXPECT_EQ(server.sentBytes(), settled) << "the transfer goes on";
        EXPECT_TRUE(installer.installs.empty());
    }
}

TEST_F(UpdaterTest, FeedFailuresShowInTheDialog) {
    const std::vector<std::pair<LoopbackHttpServer::Response, const char*>> cases{
        {{200, {}, 0, true, std::nullopt}, "The update server did not answer in time."},
        {{500, "oops", 4, false, std::nullopt}, "The update server answered 500 Internal Server Error."},
        {{200, "not json", 8, false, std::nullopt}, "The update feed is not valid: it is not a JSON object."},
        {{200, R"({"version": "1.1", "build": "2"})", 32, false, std::nullopt},
         "The update feed is not valid: “url” is missing."},
    };
    for (const auto& [response, text] : cases) {
        SCOPED_TRACE(text);
        updater = makeUpdater();
        server.serve("/feed.json", response);
        updater->start();
        updater->checkForUpdates();
        ASSERT_TRUE(reach(Stage::failed));
        EXPECT_EQ(error().toStdString(), text);
        EXPECT_EQ(updater->lastUpdateCheckDate(), std::nullopt);
    }
}

TEST_F(UpdaterTest, FeedContentIsCheckedStrictly) {
    const QByteArray signature = QByteArray(64, 7).toBase64();
    auto withUrl = [&](const QString& url, const QString& length = "10", const QByteArray& sig = {}) {
        return QString(R"({"version":"1.1","build":"2","url":"%1","length":%2,"signature":"%3"})")
            .arg(url, length, QString(sig.isEmpty() ? signature : sig))
            .toUtf8();
    };
    EXPECT_NO_THROW(UpdateFeed::parse(withUrl("https://example.org/a.tar.gz")));
    EXPECT_NO_THROW(UpdateFeed::parse(withUrl("http://127.0.0.1:8080/a.tar.gz")));
    const QByteArray refused[] = {
        withUrl("http://example.org/a.tar.gz"),
        withUrl("ftp://example.org/a.tar.gz"),
        withUrl("https://example.org/a.tar.gz", "0"),
        withUrl("https://example.org/a.tar.gz", "10.5"),
        withUrl("https://example.org/a.tar.gz", "\"10\""),
        withUrl("https://example.org/a.tar.gz", "600000000"),
        withUrl("https://example.org/a.tar.gz", "10", QByteArray(63, 7).toBase64()),
        withUrl("https://example.org/a.tar.gz", "10", "not base64!"),
        QByteArray(70000, ' '),
    };
    for (const QByteArray& feed : refused) {
        EXPECT_THROW(UpdateFeed::parse(feed), UpdateFeed::FeedError) << feed.left(120).toStdString();
    }
}

TEST(ReleaseOrderTest, NewerComparesDottedPartsAsNumbers) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"2", "1", true},     {"1", "1", false},   {"1", "2", false},   {"10", "9", true},
        {"1.10", "1.9", true}, {"1.0", "1", false}, {"1.0.1", "1", true}, {"b", "a", true},
        {"", "1", false},
    };
    for (const auto& [candidate, current, newer] : cases) {
        EXPECT_EQ(updates::ReleaseOrder::isNewer(candidate, current), newer) << candidate << " vs " << current;
    }
}

TEST_F(UpdaterTest, AnAppNotInstalledFromAReleaseRefusesBeforeDownloading) {
    installer.refusalText = "This copy of Corvane was not installed from a release archive.";
    offer(kArchive, releaseSignedBy(key, kArchive), kArchive.size());
    checkAndInstall();
    ASSERT_TRUE(reach(Stage::failed));
    EXPECT_EQ(error(), "This copy of Corvane was not installed from a release archive.");
    EXPECT_EQ(server.requests(), (std::vector<QString>{"/feed.json"}));
}

TEST_F(UpdaterTest, AFailedInstallationShowsItsReason) {
    installer.failure = "Could not replace “/opt/Corvane”: Permission denied.";
    offer(kArchive, releaseSignedBy(key, kArchive), kArchive.size());
    checkAndInstall();
    ASSERT_TRUE(reach(Stage::failed));
    EXPECT_EQ(error(), "Could not replace “/opt/Corvane”: Permission denied.");
}

TEST_F(UpdaterTest, CancellingADownloadEndsTheSession) {
    server.serve("/feed.json", feed("2", kArchive.size(), releaseSignedBy(key, kArchive)));
    server.serve("/Corvane-1.1.tar.gz", {200, kArchive, kArchive.size(), false, 1000});
    checkAndInstall();
    ASSERT_TRUE(waitUntil([&] { return updater->session().received == 1000; }));
    updater->dismiss();
    EXPECT_EQ(stage(), Stage::idle);
    EXPECT_TRUE(updater->canCheckForUpdates());
    settle();
    EXPECT_EQ(stage(), Stage::idle) << "the abandoned transfer reported back";
}

TEST_F(UpdaterTest, AutomaticChecksRunAtMostOnceADayAndStaySilent) {
    server.serve("/feed.json", feed("1", 10, QByteArray(64, 1)));
    updater->start();
    settle();
    EXPECT_EQ(scheduler.pending(), 0u) << "automatic checks are off until turned on";

    std::vector<Stage> seen;
    QObject::connect(updater.get(), &Updater::sessionChanged, [&] { seen.push_back(stage()); });
    updater->setAutomaticallyChecksForUpdates(true);
    scheduler.advance(0ms);
    ASSERT_TRUE(waitUntil([&] { return updater->lastUpdateCheckDate().has_value() && stage() == Stage::idle; }));
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(seen, (std::vector<Stage>{Stage::checking, Stage::idle})) << "up to date shows nothing";
    EXPECT_EQ(scheduler.lastDelay(), std::chrono::milliseconds(24h));

    clock.advance(23 * 3600);
    updater = makeUpdater();
    updater->start();
    EXPECT_EQ(scheduler.lastDelay(), std::chrono::milliseconds(1h)) << "a restart keeps the day";
    scheduler.advance(59min);
    settle();
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(UpdaterTest, AnAutomaticCheckShowsOnlyWhatItFoundAndRetriesAfterAFailure) {
    server.serve("/feed.json", {200, {}, 0, true, std::nullopt});
    updater->setAutomaticallyChecksForUpdates(true);
    updater->start();
    std::vector<Stage> seen;
    QObject::connect(updater.get(), &Updater::sessionChanged, [&] { seen.push_back(stage()); });
    scheduler.advance(0ms);
    ASSERT_TRUE(waitUntil([&] { return !seen.empty() && stage() == Stage::idle; }));
    EXPECT_EQ(seen, (std::vector<Stage>{Stage::checking, Stage::idle})) << "a silent failure";
    EXPECT_TRUE(logged("Automatic update check failed: The update server did not answer in time."));
    EXPECT_EQ(scheduler.lastDelay(), std::chrono::milliseconds(1h));

    offer(kArchive, releaseSignedBy(key, kArchive), kArchive.size());
    seen.clear();
    scheduler.advance(1h);
    ASSERT_TRUE(reach(Stage::updateFound));
    EXPECT_FALSE(updater->session().userInitiated);
}

class UpdaterControllerTest : public UpdaterTest {
protected:
    UpdaterController controller{*updater};
};

TEST_F(UpdaterControllerTest, MirrorsTheAutomaticSettingBothWaysWithoutEcho) {
    QSignalSpy updaterChanges(updater.get(), &Updater::automaticallyChecksForUpdatesChanged);
    QSignalSpy controllerChanges(&controller, &UpdaterController::checksAutomaticallyChanged);
    EXPECT_FALSE(controller.checksAutomatically());

    controller.setChecksAutomatically(true);
    EXPECT_TRUE(updater->automaticallyChecksForUpdates());
    EXPECT_EQ(updaterChanges.count(), 1);
    EXPECT_EQ(controllerChanges.count(), 1);
    EXPECT_TRUE(settings.value("Updates/automaticallyChecksForUpdates").toBool());

    updater->setAutomaticallyChecksForUpdates(false);
    EXPECT_FALSE(controller.checksAutomatically());
    EXPECT_EQ(updaterChanges.count(), 2);
    EXPECT_EQ(controllerChanges.count(), 2);

    controller.setChecksAutomatically(false);
    EXPECT_EQ(updaterChanges.count(), 2);
    EXPECT_EQ(controllerChanges.count(), 2);
}

TEST_F(UpdaterControllerTest, FollowsCanCheckAndDescribesTheLastCheck) {
    EXPECT_FALSE(controller.canCheckForUpdates());
    EXPECT_EQ(controller.lastCheckDescription(), "Never checked");
    server.serve("/feed.json", feed("1", 10, QByteArray(64, 1)));
    clock.set(Date::fromUnix(1736078400));  // 2025-01-05 12:00:00 UTC
    updater->start();
    EXPECT_TRUE(controller.canCheckForUpdates());
    QSignalSpy described(&controller, &UpdaterController::lastCheckDescriptionChanged);
    controller.checkForUpdates();
    EXPECT_FALSE(controller.canCheckForUpdates());
    ASSERT_TRUE(reach(Stage::upToDate));
    EXPECT_EQ(described.count(), 1);
    EXPECT_EQ(controller.lastCheckDescription(), "Last checked 5 Jan 2025 12:00");
    // The abbreviated date of the user's locale, its month by name.
    const QLocale before;
    QLocale::setDefault(QLocale("en_US"));
    EXPECT_EQ(controller.lastCheckDescription(), "Last checked Jan 5, 2025 12:00 PM");
    QLocale::setDefault(before);
}

}  // namespace
}  // namespace corvane::app::testing
