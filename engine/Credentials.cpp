#include "engine/Credentials.h"

#include "engine/AliasSettings.h"

namespace
{
CredentialsProvider* g_provider = nullptr;

// Asks at most this many times: once, and again after a refused password.
constexpr int kAttempts = 2;
} // namespace

namespace Credentials
{

void install(CredentialsProvider* provider)
{
    g_provider = provider;
}

CredentialsProvider* installed()
{
    return g_provider;
}

void connectWithLogin(AliasSettings& settings, const std::function<void(const AliasSettings&)>& connect)
{
    QString refusal;
    try {
        connect(settings);
        return;
    } catch (const ELoginRefused& e) {
        if (settings.hasPassword || !g_provider)
            throw EDatabaseError(e.message());
        refusal = e.message();
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::optional<Login> login
            = g_provider->login(settings.alias, settings.user, attempt > 0, settings.passwordNotice);
        if (!login)
            throw EDatabaseError(loginCancelledMessage(settings.alias));
        AliasSettings tried = settings;
        tried.user = login->user;
        tried.password = login->password;
        try {
            connect(tried);
            settings = tried;
            return;
        } catch (const ELoginRefused& e) {
            refusal = e.message();
        }
    }
    throw EDatabaseError(refusal);
}

QString tablePassword(const QString& alias, const QString& table)
{
    const std::optional<QString> password = g_provider ? g_provider->tablePassword(alias, table) : std::nullopt;
    if (!password)
        throw EDatabaseError(tablePasswordCancelledMessage(table));
    return *password;
}

QString loginCancelledMessage(const QString& alias)
{
    return QStringLiteral("Connexion à la base de données %1 abandonnée : le serveur demande un mot de passe, "
                          "qui n'a pas été saisi")
        .arg(alias);
}

QString tablePasswordCancelledMessage(const QString& table)
{
    return QStringLiteral("La table %1 est protégée par un mot de passe, qui n'a pas été saisi").arg(table);
}

} // namespace Credentials
