// The acknowledgements: the compiled-in licence texts, the missing-text message
// and the sheet's selection.
#include <fstream>

#include <QFile>
#include <gtest/gtest.h>

#include "Presenters/Settings/AcknowledgementsPresenter.hpp"
#include "Support/QtPrinters.hpp"
#include "platform/linux/TemporaryDirectory.hpp"

namespace corvane::app::testing {
namespace {

Acknowledgement named(QString name, QString url = "https://example.org/lib") {
    return {QUuid::createUuid(), std::move(name), "Does things.", std::move(url), "Lib"};
}

TEST(AcknowledgementTest, EveryComponentHasItsLicenceCompiledIn) {
    QStringList names;
    for (const Acknowledgement& entry : Acknowledgement::all()) {
        names << entry.name;
        EXPECT_TRUE(QFile::exists(":/licences/" + entry.licenceResource + ".txt")) << entry.name.toStdString();
        const QString text = entry.licenceText();
        EXPECT_NE(text, entry.missingTextMessage()) << entry.name.toStdString();
        EXPECT_GT(text.size(), 200) << entry.name.toStdString();
        EXPECT_TRUE(AcknowledgementsPresenter::hasLink(entry)) << entry.name.toStdString();
    }
    EXPECT_EQ(names, (QStringList{"Qt", "nlohmann/json", "Asio", "ICU", "OpenSSL"}));
}

TEST(AcknowledgementTest, AMissingOrInvalidTextShowsThePackagingMessage) {
    platform::testing::TemporaryDirectory folder;
    const QString path = QString::fromStdString(folder.path().string());
    const Acknowledgement entry = named("Lib");
    const QString message =
        "The licence text for Lib is missing from this build.\n\nThis is a packaging fault, not a licensing one — "
        "Lib is used under its own terms, available at https://example.org/lib.";
    EXPECT_EQ(entry.licenceText(path), message) << "no file";

    const struct {
        const char* bytes;
        bool valid;
    } cases[] = {
        {"Copyright \xC2\xA9 Lib authors\n", true},
        {"Copyright \xA9 Lib authors\n", false},  // Latin-1
        {"cut \xE2\x82", false},
        {"surrogate \xED\xA0\x80", false},
    };
    for (const auto& c : cases) {
        std::ofstream(folder.path() / "Lib.txt", std::ios::binary | std::ios::trunc) << c.bytes;
        EXPECT_EQ(entry.licenceText(path), c.valid ? QString::fromUtf8(c.bytes) : message) << c.bytes;
    }
}

TEST(AcknowledgementTest, TheFirstEntryIsSelectedAndAnUnknownSelectionReadsAsIt) {
    const std::vector entries{named("A"), named("B", "not a web address")};
    AcknowledgementsPresenter presenter(entries);
    EXPECT_EQ(presenter.selected()->name, "A");
    presenter.select(entries[1].id);
    EXPECT_EQ(presenter.selected()->name, "B");
    EXPECT_FALSE(AcknowledgementsPresenter::hasLink(*presenter.selected()));
    presenter.select(QUuid::createUuid());
    EXPECT_EQ(presenter.selected()->name, "A");
    EXPECT_EQ(AcknowledgementsPresenter(std::vector<Acknowledgement>{}).selected(), nullptr);
}

}  // namespace
}  // namespace corvane::app::testing
