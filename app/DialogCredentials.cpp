#include "app/DialogCredentials.h"

#include "ui/Dialogs.h"

#include <QApplication>

std::optional<Login> DialogCredentials::login(
    const QString& alias, const QString& user, bool retry, const QString& notice)
{
    Dialogs::LoginRequest request;
    request.caption = QStringLiteral("Connexion base de données");
    request.database = alias;
    request.user = user;
    request.retry = retry;
    request.notice = notice;
    return Dialogs::instance().login(QApplication::activeWindow(), request);
}

std::optional<QString> DialogCredentials::tablePassword(const QString&, const QString& table)
{
    Dialogs::TablePasswordRequest request;
    request.caption = QStringLiteral("Saisie du mot de passe");
    request.table = table;
    return Dialogs::instance().tablePassword(QApplication::activeWindow(), request);
}
