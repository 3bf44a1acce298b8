#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/error.hpp>
#include <asio/post.hpp>

#include "platform/AppProxyFlow.hpp"
#include "platform/testing/ErrorName.hpp"

namespace corvane::platform::testing {

// What both fake flow kinds share: metadata, a scripted open and an ordered log of
// the calls the provider made ("open", "closeRead(ECONNREFUSED)", "closeWrite(none)",
// plus the kind's own entries). Completions are posted to the executor, never run
// inside the call; the fake holds no work, so a waiting read lets the loop go idle.
template <class Interface>
class FakeFlow : public Interface {
public:
    FakeFlow(asio::any_io_executor executor, FlowMetaData metaData)
        : executor_(std::move(executor)), metaData_(std::move(metaData)) {}

    const FlowMetaData& metaData() const override { return metaData_; }
    std::optional<std::string> remoteHostname() const override {
        std::lock_guard guard(lock_);
        return remoteHostname_;
    }
    void setRemoteHostname(std::optional<std::string> name) {
        std::lock_guard guard(lock_);
        remoteHostname_ = std::move(name);
    }

    // The next open completes with `error` (none by default).
    void failOpenWith(Error error) {
        std::lock_guard guard(lock_);
        openError_ = error;
    }
    // The next open waits until completeOpen().
    void holdOpen() {
        std::lock_guard guard(lock_);
        holdOpen_ = true;
    }
    void completeOpen(Error error = {}) {
        std::function<void(Error)> handler;
        {
            std::lock_guard guard(lock_);
            handler = std::move(pendingOpen_);
            pendingOpen_ = nullptr;
        }
        if (handler) post([handler, error] { handler(error); });
    }

    void open(std::function<void(Error)> completionHandler) override {
        std::unique_lock guard(lock_);
        log_.push_back("open");
        if (holdOpen_) {
            pendingOpen_ = std::move(completionHandler);
            return;
        }
        Error error = openError_;
        guard.unlock();
        post([completionHandler = std::move(completionHandler), error] { completionHandler(error); });
    }

    void closeRead(Error error) override {
        {
            std::lock_guard guard(lock_);
            log_.push_back("closeRead(" + errorName(error) + ")");
            if (!readClosed_) readCloseError_ = error;
            readClosed_ = true;
        }
        readSideClosed();
    }

    void closeWrite(Error error) override {
        std::lock_guard guard(lock_);
        log_.push_back("closeWrite(" + errorName(error) + ")");
        if (!writeClosed_) writeCloseError_ = error;
        writeClosed_ = true;
    }

    // The calls in order.
    std::vector<std::string> log() const {
        std::lock_guard guard(lock_);
        return log_;
    }
    // Only the close entries of the log, in order.
    std::vector<std::string> closes() const {
        std::vector<std::string> out;
        for (const auto& entry : log()) {
            if (entry.rfind("close", 0) == 0) out.push_back(entry);
        }
        return out;
    }
    bool isReadClosed() const {
        std::lock_guard guard(lock_);
        return readClosed_;
    }
    bool isWriteClosed() const {
        std::lock_guard guard(lock_);
        return writeClosed_;
    }
    bool isClosed() const { return isReadClosed() && isWriteClosed(); }
    // The error of the first close of each side.
    Error readCloseError() const {
        std::lock_guard guard(lock_);
        return readCloseError_;
    }
    Error writeCloseError() const {
        std::lock_guard guard(lock_);
        return writeCloseError_;
    }

protected:
    // Called after the read side was closed (outside the lock).
    virtual void readSideClosed() {}

    void post(std::function<void()> work) { asio::post(executor_, std::move(work)); }
    // With lock_ held:
    void appendLog(std::string entry) { log_.push_back(std::move(entry)); }
    bool isReadClosedLocked() const { return readClosed_; }
    bool isWriteClosedLocked() const { return writeClosed_; }

    mutable std::mutex lock_;

private:
    asio::any_io_executor executor_;
    FlowMetaData metaData_;
    std::optional<std::string> remoteHostname_;
    Error openError_;
    bool holdOpen_ = false;
    std::function<void(Error)> pendingOpen_;
    std::vector<std::string> log_;
    bool readClosed_ = false;
    bool writeClosed_ = false;
    Error readCloseError_;
    Error writeCloseError_;
};

}  // namespace corvane::platform::testing
