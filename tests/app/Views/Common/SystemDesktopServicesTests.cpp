// Where the real file dialogs open: the documents folder when the user has
// one, else the home folder, never the folder the app was started in.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "Support/QtPrinters.hpp"
#include "Views/Common/SystemDesktopServices.hpp"

namespace corvane::app::testing {
namespace {

TEST(SystemDesktopServicesTest, FileDialogsOpenInDocumentsWhenItExistsElseInTheHomeFolder) {
    QTemporaryDir home;
    const QByteArray before = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    EXPECT_EQ(SystemDesktopServices::startFolder(), home.path()) << "no documents folder yet";
    ASSERT_TRUE(QDir(home.path()).mkdir("Documents"));
    EXPECT_EQ(SystemDesktopServices::startFolder(), home.path() + "/Documents");
    qputenv("HOME", before);
}

}  // namespace
}  // namespace corvane::app::testing
