#include "engine/SecretStore.h"

#include "platform/Exceptions.h"

#ifdef VELOSQL_KEYRING
#include <QEventLoop>
#include <qt6keychain/keychain.h>
#endif

namespace
{

SecretStore* g_installed = nullptr;

#ifdef VELOSQL_KEYRING

// The name the secrets of the program are kept under in the store.
const QString kService = QStringLiteral("VeloSQL");

// Runs job to its end. The store answers through the event loop (over D-Bus on Linux);
// the user's clicks wait meanwhile.
void finish(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

[[noreturn]] void fail(const QKeychain::Job& job)
{
    throw EDatabaseError(QStringLiteral("Le trousseau du système a refusé l'opération : %1").arg(job.errorString()));
}

class KeychainStore : public SecretStore
{
public:
    QString unavailable() override
    {
        if (!m_probed) {
            // A read that finds nothing proves that a store answers.
            QKeychain::ReadPasswordJob job(kService);
            job.setKey(QStringLiteral("VeloSQL: essai du trousseau"));
            finish(job);
            if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound)
                m_unavailable = QStringLiteral("Aucun trousseau du système ne répond (%1) : le mot de passe ne peut "
                                               "pas être mémorisé.")
                                    .arg(job.errorString());
            m_probed = true;
        }
        return m_unavailable;
    }

    std::optional<QString> read(const QString& key) override
    {
        QKeychain::ReadPasswordJob job(kService);
        job.setKey(key);
        finish(job);
        if (job.error() == QKeychain::EntryNotFound)
            return std::nullopt;
        if (job.error() != QKeychain::NoError)
            fail(job);
        return job.textData();
    }

    void write(const QString& key, const QString& secret) override
    {
        QKeychain::WritePasswordJob job(kService);
        job.setKey(key);
        job.setTextData(secret);
        finish(job);
        if (job.error() != QKeychain::NoError)
            fail(job);
    }

    void forget(const QString& key) override
    {
        QKeychain::DeletePasswordJob job(kService);
        job.setKey(key);
        finish(job);
        if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound)
            fail(job);
    }

private:
    bool m_probed = false;
    QString m_unavailable;
};

#else

// A build without QtKeychain keeps no secret.
class KeychainStore : public SecretStore
{
public:
    QString unavailable() override
    {
        return QStringLiteral("Cette version de VeloSQL n'a pas accès au trousseau du système : le mot de passe ne "
                              "peut pas être mémorisé.");
    }
    std::optional<QString> read(const QString&) override { return std::nullopt; }
    void write(const QString&, const QString&) override { throw EDatabaseError(unavailable()); }
    void forget(const QString&) override { }
};

#endif

} // namespace

namespace SecretStores
{

SecretStore& installed()
{
    return g_installed ? *g_installed : system();
}

void install(SecretStore* store)
{
    g_installed = store;
}

SecretStore& system()
{
    static KeychainStore store;
    return store;
}

} // namespace SecretStores
