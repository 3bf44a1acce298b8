// The widget tests run under Qt's offscreen platform, in the C locale and UTC,
// with no icon theme (the bundled icons must show), in the app's own style and
// with the app's settings in a folder of their own, removed afterwards.
#include <cstdlib>
#include <ctime>

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "Views/Common/AppStyle.hpp"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("LC_ALL", "C", 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir settingsFolder;
    ::setenv("XDG_CONFIG_HOME", settingsFolder.path().toLocal8Bit().constData(), 1);
    ::setenv("XDG_RUNTIME_DIR", settingsFolder.path().toLocal8Bit().constData(), 1);
    QApplication application(argc, argv);
    corvane::app::AppStyle::install();
    QApplication::setOrganizationName("org.corvane.Corvane.tests");
    QApplication::setApplicationName("org.corvane.Corvane.tests");
    QLocale::setDefault(QLocale::c());
    QIcon::setThemeSearchPaths({});
    QIcon::setThemeName({});
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    return RUN_ALL_TESTS();
}
