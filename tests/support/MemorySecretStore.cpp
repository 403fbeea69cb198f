#include "MemorySecretStore.h"

#include "platform/Exceptions.h"

std::optional<QString> MemorySecretStore::read(const QString& key)
{
    calls << QStringLiteral("read ") + key;
    mayFail();
    if (const auto found = secrets.constFind(key); found != secrets.cend())
        return *found;
    return std::nullopt;
}

void MemorySecretStore::write(const QString& key, const QString& secret)
{
    calls << QStringLiteral("write %1=%2").arg(key, secret);
    mayFail();
    secrets.insert(key, secret);
}

void MemorySecretStore::forget(const QString& key)
{
    calls << QStringLiteral("forget ") + key;
    mayFail();
    secrets.remove(key);
}

void MemorySecretStore::mayFail() const
{
    if (!failure.isEmpty())
        throw EDatabaseError(failure);
}

void installSilentSecretStore()
{
    static MemorySecretStore store;
    store.unavailableReason = QStringLiteral("Aucun trousseau du système ne répond (tests) : le mot de passe ne peut "
                                             "pas être mémorisé.");
    SecretStores::install(&store);
}
