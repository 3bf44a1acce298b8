#include "InstalledAppsScanner.hpp"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <utility>

#include <QCollator>
#include <QLocale>
#include <QStandardPaths>

namespace corvane::app {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDesktopSuffix = ".desktop";

// The winning file of each desktop-file name: a later folder (the user's, as
// the folders are walked from the system's up) replaces an earlier one.
struct EntryFile {
    std::size_t rank;
    fs::path path;
};

std::map<std::string, EntryFile> entryFiles(const std::vector<fs::path>& folders) {
    std::map<std::string, EntryFile> files;
    for (std::size_t rank = 0; rank < folders.size(); ++rank) {
        const fs::path& folder = folders[folders.size() - 1 - rank];
        std::error_code error;
        fs::directory_iterator it(folder, error);
        std::size_t read = 0;
        for (; !error && it != fs::directory_iterator() && read < InstalledAppsScanner::kMaximumEntriesPerFolder;
             it.increment(error), ++read) {
            const std::string name = it->path().filename().string();
            if (!name.ends_with(kDesktopSuffix) || name.size() == kDesktopSuffix.size()) continue;
            files[name] = {rank, it->path()};
        }
    }
    return files;
}

std::optional<fs::path> executableOnPath(const std::string& program, const std::vector<fs::path>& searchPath) {
    if (program.find('/') != std::string::npos) return fs::path(program);
    for (const fs::path& folder : searchPath) {
        const fs::path candidate = folder / program;
        std::error_code error;
        if (fs::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

std::optional<InstalledApp> appOf(const std::string& fileName, const fs::path& path,
                                  const InstalledAppsScanner::Sources& sources) {
    const auto entry = DesktopEntry::read(path);
    if (!entry || entry->value("Type") != "Application" || entry->isTrue("NoDisplay") || entry->isTrue("Hidden"))
        return std::nullopt;
    auto id = InstalledAppsScanner::identifier(*entry, sources.searchPath);
    if (!id) return std::nullopt;
    auto name = entry->localizedValue("Name", sources.locale);
    if (!name || name->empty()) name = fileName.substr(0, fileName.size() - kDesktopSuffix.size());
    return InstalledApp{std::move(*id), std::move(*name), path.string(), entry->value("Icon").value_or(""), false};
}

void sortForPicker(std::vector<InstalledApp>& apps, const std::string& locale) {
    QCollator collator{QLocale(QString::fromStdString(locale))};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(), [&collator](const InstalledApp& a, const InstalledApp& b) {
        if (a.seenInLog != b.seenInLog) return a.seenInLog;
        return collator.compare(QString::fromStdString(a.name), QString::fromStdString(b.name)) < 0;
    });
}

}  // namespace

InstalledAppsScanner::Sources InstalledAppsScanner::systemSources() {
    Sources sources;
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
        sources.folders.emplace_back(folder.toStdString());
    for (const QString& folder : qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts))
        sources.searchPath.emplace_back(folder.toStdString());
    sources.locale = QLocale::system().name().toStdString();
    return sources;
}

std::vector<InstalledApp> InstalledAppsScanner::scan(const Sources& sources,
                                                     const std::set<std::string>& seenIdentifiers) {
    std::vector<std::pair<std::string, EntryFile>> files;
    for (auto& file : entryFiles(sources.folders)) files.push_back(std::move(file));
    std::stable_sort(files.begin(), files.end(),
                     [](const auto& a, const auto& b) { return a.second.rank < b.second.rank; });

    std::map<std::string, InstalledApp> byIdentifier;
    for (const auto& [fileName, file] : files) {
        auto app = appOf(fileName, file.path, sources);
        if (!app) continue;
        app->seenInLog = seenIdentifiers.contains(app->id);
        byIdentifier[app->id] = std::move(*app);
    }
    for (const std::string& id : seenIdentifiers)
        if (!byIdentifier.contains(id)) byIdentifier[id] = InstalledApp{id, seenOnlyName(id), "", "", true};

    std::vector<InstalledApp> apps;
    for (auto& [id, app] : byIdentifier) apps.push_back(std::move(app));
    sortForPicker(apps, sources.locale);
    return apps;
}

std::optional<std::string> InstalledAppsScanner::identifier(const DesktopEntry& entry,
                                                            const std::vector<fs::path>& searchPath) {
    if (auto flatpak = entry.value("X-Flatpak"); flatpak && !flatpak->empty()) return flatpak;
    const auto exec = entry.value("Exec");
    if (!exec) return std::nullopt;
    const auto program = DesktopEntry::execProgram(*exec);
    if (!program) return std::nullopt;
    fs::path path(*program);
    if (const auto found = executableOnPath(*program, searchPath)) {
        std::error_code error;
        const fs::path real = fs::canonical(*found, error);
        path = error ? *found : real;
    }
    const std::string name = path.filename().string();
    if (name.empty()) return std::nullopt;
    return name;
}

std::string InstalledAppsScanner::seenOnlyName(std::string_view identifier) {
    std::size_t end = identifier.size();
    while (end > 0) {
        const auto dot = identifier.rfind('.', end - 1);
        const std::size_t start = dot == std::string_view::npos ? 0 : dot + 1;
        if (start < end) return std::string(identifier.substr(start, end - start));
        if (dot == std::string_view::npos) break;
        end = dot;
    }
    return std::string(identifier);
}

}  // namespace corvane::app
