#include "ui/ErrorGuard.h"

#include "platform/Exceptions.h"
#include "ui/Dialogs.h"

#include <new>

namespace ErrorGuard
{

QString withFinalDot(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

void showError(const QString& message, QWidget* parent)
{
    Dialogs::instance().showError(parent, QStringLiteral("VeloSQL"), withFinalDot(message));
}

QString messageOf(const std::exception& e)
{
    if (const auto* ours = dynamic_cast<const Exception*>(&e))
        return ours->message();
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return QStringLiteral("Mémoire insuffisante");
    return QString::fromLocal8Bit(e.what());
}

void reportCurrentException(QWidget* parent)
{
    try {
        throw;
    } catch (const std::exception& e) {
        showError(messageOf(e), parent);
    } catch (...) {
        showError(QStringLiteral("Erreur inconnue"), parent);
    }
}

} // namespace ErrorGuard
