#include "app/DialogCredentials.h"

#include "ui/Dialogs.h"

#include <QApplication>

namespace
{
const QString kLoginCaption = QStringLiteral("Connexion base de données");
}

std::optional<Login> DialogCredentials::login(const LoginPrompt& prompt)
{
    Dialogs::LoginRequest request;
    request.caption = kLoginCaption;
    request.database = prompt.alias;
    request.user = prompt.user;
    request.retry = prompt.retry;
    request.notice = prompt.notice;
    request.remembered = prompt.remembered;
    request.storeUnavailable = prompt.storeUnavailable;
    return Dialogs::instance().login(QApplication::activeWindow(), request);
}

void DialogCredentials::notRemembered(const QString& alias, const QString& reason)
{
    Dialogs::instance().showError(QApplication::activeWindow(), kLoginCaption,
        QStringLiteral("Le mot de passe de la base de données %1 n'a pas pu être mémorisé.\n%2").arg(alias, reason));
}

std::optional<QString> DialogCredentials::tablePassword(const QString&, const QString& table)
{
    Dialogs::TablePasswordRequest request;
    request.caption = QStringLiteral("Saisie du mot de passe");
    request.table = table;
    return Dialogs::instance().tablePassword(QApplication::activeWindow(), request);
}
