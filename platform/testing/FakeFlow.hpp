#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/error.hpp>
#include <asio/post.hpp>

#include "platform/AppProxyFlow.hpp"
#include "platform/testing/ErrorName.hpp"

namespace corvane::platform::testing {

// What both fake flow kinds share: metadata, a scripted open, read results the test
// pushes, scripted write errors and an ordered log of the calls the provider made
// ("open", "closeRead(ECONNREFUSED)", "closeWrite(none)", plus the kind's own
// entries). `ReadResult` holds the arguments a read handler is called with, the
// error last. Completions are posted to the executor, never run inside the call; the
// fake holds no work, so a waiting read lets the loop go idle.
template <class Interface, class ReadResult>
class FakeFlow : public Interface {
public:
    using ReadHandler = typename Interface::ReadHandler;
    using WriteHandler = typename Interface::WriteHandler;

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

    // A read still waiting when the read side closes ends as cancelled.
    void closeRead(Error error) override {
        ReadHandler waiting;
        {
            std::lock_guard guard(lock_);
            log_.push_back("closeRead(" + errorName(error) + ")");
            if (!readClosed_) readCloseError_ = error;
            readClosed_ = true;
            waiting = std::exchange(pendingRead_, nullptr);
        }
        if (waiting) deliver(std::move(waiting), cancelled());
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

    // The next write completes with `error`.
    void failNextWriteWith(Error error) {
        std::lock_guard guard(lock_);
        writeErrors_.push_back(error);
    }
    bool hasPendingRead() const {
        std::lock_guard guard(lock_);
        return static_cast<bool>(pendingRead_);
    }

protected:
    // A read call, logged as `entry`: cancelled once the read side is closed, else
    // answered with the oldest pushed result, else kept until the next push.
    void answerRead(std::string entry, ReadHandler handler) {
        std::unique_lock guard(lock_);
        log_.push_back(std::move(entry));
        if (pendingRead_) ++overlappingReads_;
        std::optional<ReadResult> result;
        if (readClosed_) {
            result = cancelled();
        } else if (!results_.empty()) {
            result = std::move(results_.front());
            results_.pop_front();
        } else {
            pendingRead_ = std::move(handler);
            return;
        }
        guard.unlock();
        deliver(std::move(handler), std::move(*result));
    }

    // Hands `result` to the waiting read, or queues it for the next one.
    void push(ReadResult result) {
        std::unique_lock guard(lock_);
        if (!pendingRead_) {
            results_.push_back(std::move(result));
            return;
        }
        ReadHandler handler = std::exchange(pendingRead_, nullptr);
        guard.unlock();
        deliver(std::move(handler), std::move(result));
    }

    // A write call, logged as `entry`: fails with broken pipe once the write side is
    // closed, else with the next scripted error; otherwise `keep` records what was
    // written (with lock_ held).
    template <class Keep>
    void answerWrite(std::string entry, WriteHandler handler, Keep keep) {
        std::unique_lock guard(lock_);
        log_.push_back(std::move(entry));
        Error error;
        if (writeClosed_) {
            error = asio::error::broken_pipe;
        } else if (!writeErrors_.empty()) {
            error = writeErrors_.front();
            writeErrors_.pop_front();
        }
        if (!error) keep();
        guard.unlock();
        post([handler = std::move(handler), error] { handler(error); });
    }

    // Reads issued while another was still waiting (a provider fault).
    std::size_t overlappingReads() const {
        std::lock_guard guard(lock_);
        return overlappingReads_;
    }

    mutable std::mutex lock_;

private:
    static ReadResult cancelled() {
        ReadResult result;
        std::get<Error>(result) = asio::error::operation_aborted;
        return result;
    }

    void deliver(ReadHandler handler, ReadResult result) {
        post([handler = std::move(handler), result = std::move(result)] { std::apply(handler, result); });
    }

    void post(std::function<void()> work) { asio::post(executor_, std::move(work)); }

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
    std::deque<ReadResult> results_;
    ReadHandler pendingRead_;
    std::size_t overlappingReads_ = 0;
    std::deque<Error> writeErrors_;
};

}  // namespace corvane::platform::testing
