#pragma once

#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

class QWidget;

namespace ErrorGuard
{

// The message as the error box shows it: a final "." is appended when the last
// character's code is above that of "." (nothing after ".", a blank, "!" or ")").
QString withFinalDot(const QString& message);

// The application's error box: caption "VeloSQL", stop icon, one "OK" button.
void showError(const QString& message, QWidget* parent = nullptr);

// Reports the exception currently being handled (call inside a catch block).
void reportCurrentException(QWidget* parent = nullptr);

// The message of any exception.
QString messageOf(const std::exception& e);

} // namespace ErrorGuard

// Runs a handler; an exception that leaves it is shown in the error box and the
// program goes on. No exception crosses into Qt's event loop.
template <typename F> void guarded(F&& handler) noexcept
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        ErrorGuard::reportCurrentException();
    }
}

namespace ErrorGuard
{

// Connects signal to a handler of receiver that runs guarded. The handler is a member
// function (or a callable taking the receiver) called with the signal's arguments,
// with the sender alone (handlers that take the control that called them), or with
// nothing.
template <typename Sender, typename Signal, typename Receiver, typename Handler>
QMetaObject::Connection connectGuarded(Sender* sender, Signal signal, Receiver* receiver, Handler handler)
{
    if constexpr (std::is_invocable_v<Handler, Receiver*>)
        return QObject::connect(
            sender, signal, receiver, [receiver, handler] { guarded([&] { std::invoke(handler, receiver); }); });
    else if constexpr (std::is_invocable_v<Handler, Receiver*, Sender*>)
        return QObject::connect(sender, signal, receiver,
            [sender, receiver, handler] { guarded([&] { std::invoke(handler, receiver, sender); }); });
    else
        return QObject::connect(sender, signal, receiver,
            [receiver, handler](const auto&... args) { guarded([&] { std::invoke(handler, receiver, args...); }); });
}

} // namespace ErrorGuard
