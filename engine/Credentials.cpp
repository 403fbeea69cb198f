#include "engine/Credentials.h"

#include "engine/AliasSettings.h"
#include "engine/SecretStore.h"

namespace
{
CredentialsProvider* g_provider = nullptr;

// Asks at most this many times: once, and again after a refused password.
constexpr int kAttempts = 2;

// Runs a step of the system's store; its failure goes to the provider, and the login
// goes on without the store. True when the step was done.
bool tell(const QString& alias, const std::function<void()>& step)
{
    try {
        step();
        return true;
    } catch (const EDatabaseError& e) {
        g_provider->notRemembered(alias, e.message());
        return false;
    }
}
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
    SecretStore& store = SecretStores::installed();
    const QString storeUnavailable = store.unavailable();
    const QString key = rememberedKey(settings);
    // The password remembered for the alias serves without a prompt; one that the
    // server refuses brings the prompt back, and stays until another one is taken.
    // A login already tried (a session reopened) is not tried again.
    bool remembered = false;
    bool retry = false;
    if (storeUnavailable.isEmpty() && settings.password.isEmpty()) {
        std::optional<QString> secret;
        tell(settings.alias, [&] { secret = store.read(key); });
        if (secret) {
            remembered = true;
            AliasSettings tried = settings;
            tried.password = *secret;
            try {
                connect(tried);
                settings = tried;
                return;
            } catch (const ELoginRefused& e) {
                refusal = e.message();
                retry = true;
            }
        }
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::optional<Login> login = g_provider->login(LoginPrompt {
            settings.alias, settings.user, retry || attempt > 0, settings.passwordNotice, remembered, storeUnavailable });
        if (!login)
            throw EDatabaseError(loginCancelledMessage(settings.alias));
        AliasSettings tried = settings;
        tried.user = login->user;
        tried.password = login->password;
        // Unchecked, the box forgets.
        if (remembered && !login->remember)
            remembered = !tell(settings.alias, [&] { store.forget(key); });
        try {
            connect(tried);
        } catch (const ELoginRefused& e) {
            refusal = e.message();
            continue;
        }
        settings = tried;
        if (login->remember && storeUnavailable.isEmpty())
            tell(settings.alias, [&] { store.write(rememberedKey(tried), tried.password); });
        return;
    }
    throw EDatabaseError(refusal);
}

QString rememberedKey(const AliasSettings& settings)
{
    return QStringLiteral("%1 %2@%3:%4/%5")
        .arg(settings.alias, settings.user, settings.host,
            settings.port > 0 ? QString::number(settings.port) : QString(), settings.database);
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
