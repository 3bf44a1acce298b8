#pragma once

#include <functional>
#include <type_traits>
#include <utility>

#include <QCoreApplication>
#include <QObject>
#include <QPointer>

// Delivery of asynchronous results to the main thread. A result is always
// queued behind the event being handled, never delivered inside the call that
// started the work, and dropped when its context object is gone by then.
namespace corvane::app::MainThread {

// Wraps `callback` for `context`. Call this on the main thread (the guard on
// `context` is taken here); the returned function may be called on any thread.
template <class... Args>
std::function<void(Args...)> bind(QObject* context, std::type_identity_t<std::function<void(Args...)>> callback) {
    return [guard = QPointer<QObject>(context), callback = std::move(callback)](Args... args) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, callback, ... args = std::move(args)]() mutable {
                if (guard) callback(std::move(args)...);
            },
            Qt::QueuedConnection);
    };
}

// Runs `action` for `context` after the current event; call on the main thread.
inline void post(QObject* context, std::function<void()> action) { bind<>(context, std::move(action))(); }

}  // namespace corvane::app::MainThread
