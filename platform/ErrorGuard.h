#pragma once

#include <QString>
#include <exception>
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
