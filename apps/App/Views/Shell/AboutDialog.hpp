#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <QDialog>

namespace corvane::app {

// "About Corvane": the app's symbol, name and version.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // "<short version> (<build>)"; a missing part is "?".
    static std::string versionText(std::optional<std::string_view> shortVersion, std::optional<std::string_view> build);
    // This build's version text.
    static std::string currentVersionText();
};

}  // namespace corvane::app
