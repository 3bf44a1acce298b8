#pragma once

#include <optional>

#include <QString>

#include "UpdateRelease.hpp"

namespace corvane::app {

// Where the updater stands in one check-and-install: what its dialog shows.
struct UpdateSession {
    enum class Stage { idle, checking, upToDate, updateFound, downloading, installing, installed, failed };

    Stage stage = Stage::idle;
    // Started by the user ("Check for Updates…"), not by the daily check.
    bool userInitiated = false;
    std::optional<UpdateRelease> release;
    qint64 received = 0;
    // The failure the user sees, with stage failed.
    QString error;
};

}  // namespace corvane::app
