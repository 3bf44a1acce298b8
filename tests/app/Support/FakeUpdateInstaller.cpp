#include "FakeUpdateInstaller.hpp"

#include <QFile>

#include "Model/MainThread.hpp"

namespace corvane::app::testing {

void FakeUpdateInstaller::install(const std::filesystem::path& archive, const UpdateRelease& release,
                                  QObject* context, Done done) {
    QFile file(QString::fromStdString(archive.string()));
    file.open(QIODevice::ReadOnly);
    installs.push_back({archive, release, file.readAll()});
    MainThread::bind<std::optional<std::string>>(context, std::move(done))(failure);
}

bool FakeUpdateInstaller::relaunch() {
    ++relaunches;
    return relaunchWorks;
}

}  // namespace corvane::app::testing
