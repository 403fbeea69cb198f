#pragma once

#include "engine/SecretStore.h"

#include <QHash>
#include <QStringList>

// A store of secrets in memory, in place of the system's: the tests never read or touch
// the keyring of the user who runs them. It can stand for a store that does not answer
// (unavailable) or fails each call (failure), and records every call ("read key",
// "write key=secret", "forget key").
class MemorySecretStore : public SecretStore
{
public:
    QString unavailable() override { return unavailableReason; }
    std::optional<QString> read(const QString& key) override;
    void write(const QString& key, const QString& secret) override;
    void forget(const QString& key) override;

    QHash<QString, QString> secrets;
    QStringList calls;
    QString unavailableReason;
    QString failure;

private:
    void mayFail() const;
};

// Installs, in place of the system's store, one that does not answer: what every test
// starts with, so that none reaches the keyring of the user who runs it.
void installSilentSecretStore();
